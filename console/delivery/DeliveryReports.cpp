#include "delivery/DeliveryReports.h"

#include "Formats.h"
#include "delivery/DeliveryBreakdown.h"
#include "reports/ReportWriter.h"

#include <tuple>

namespace hv {

namespace {

// The summary's values line up after the longest label, "Checking in, not seen yet:".
constexpr int kSummaryColumn = 28;

QString summaryLine(const QString& label, const QString& value) {
    return label.leftJustified(kSummaryColumn - 1, u' ') + value;
}

QString at(const QDateTime& when, const QDate& today) {
    if (!when.isValid()) return {};
    const QString time = formatAmPm(when.time(), true);
    return when.date() == today ? time : formatMonthDayYear(when.date()) + u' ' + time;
}

QString cancelledBy(const DeliveryStore::Cancellation& c) {
    return c.hostName.isEmpty() ? c.by : c.by + QStringLiteral(" on ") + c.hostName;
}

QString cancelledAt(const DeliveryStore::Cancellation& c) {
    return formatMonthDayYear(c.at.date()) + u' ' + formatAmPm(c.at.time(), true);
}

} // namespace

QString DeliveryReports::cancellationLine(const DeliveryStore::Cancellation& c) {
    return ReportWriter::kCancelledByLabel + u' ' + cancelledBy(c) + QStringLiteral("    ") +
           ReportWriter::kCancelledAtLabel + u' ' + cancelledAt(c);
}

ReportDefinition DeliveryReports::delivery(const DeliveryStore::Delivery& d, const DeliveryBreakdown& b) {
    ReportDefinition r;
    r.title = QStringLiteral("Delivery of ") + DeliveryBreakdown::alertLine(d.alert);
    r.captionPrefix = QStringLiteral("Delivery of ") + DeliveryBreakdown::alertLine(d.alert) + QStringLiteral(" (");
    r.summary << summaryLine(QStringLiteral("As of:"),
                             formatMonthDayYear(d.serverNow.date()) + u' ' + formatAmPm(d.serverNow.time(), true));
    if (d.cancellation) {
        r.summary << summaryLine(ReportWriter::kCancelledByLabel, cancelledBy(*d.cancellation));
        r.summary << summaryLine(ReportWriter::kCancelledAtLabel, cancelledAt(*d.cancellation));
    }
    if (d.audience)
        r.summary << summaryLine(QStringLiteral("Audience:"),
                                 b.audienceLine(d).mid(QStringLiteral("Audience: ").size()));
    if (const QString answers = DeliveryBreakdown::answersLine(d); !answers.isEmpty())
        r.summary << summaryLine(QStringLiteral("Answers:"), answers.mid(QStringLiteral("Answers: ").size()));
    const QList<DeliveryBreakdown::Group> groups = DeliveryBreakdown::shown(d);
    for (const DeliveryBreakdown::Group group : groups) {
        r.summary << summaryLine(DeliveryBreakdown::caption(group) + u':', formatGrouped(b.count(group)));
    }
    const QStringList columns{"Group", "Workstation", "User", "When", "Detail"};
    r.fields = {{QStringLiteral("Group:"), 16, columns[0]},
                {QStringLiteral("Workstation:"), 16, columns[1]},
                {QStringLiteral("User:"), 16, columns[2]},
                {QStringLiteral("When:"), 16, columns[3]},
                {QStringLiteral("Detail:"), 16, columns[4]}};
    QList<QSqlRecord> rows;
    for (const DeliveryBreakdown::Group group : groups) {
        for (const DeliveryBreakdown::Entry& e : b.entries(group))
            rows << ReportDefinition::textRow(
                columns, {DeliveryBreakdown::caption(group), e.hostName, e.desktopUser, e.when, e.detail});
    }
    r.rows = rows;
    return r;
}

QString DeliveryReports::stateText(const DeliveryStore::Workstation& w) {
    if (w.silent) return QStringLiteral("Silent for ") + DeliveryBreakdown::duration(w.secondsSinceCheckIn);
    return QStringLiteral("Listening");
}

QString DeliveryReports::soundText(const DeliveryStore::Workstation& w) {
    return w.soundDevice ? QStringLiteral("found") : QStringLiteral("none");
}

QString DeliveryReports::volumeText(const DeliveryStore::Workstation& w) {
    return w.volumeReadable ? QStringLiteral("readable") : QStringLiteral("not readable");
}

QString DeliveryReports::muteText(const DeliveryStore::Workstation& w) {
    return w.muteReadable ? QStringLiteral("readable") : QStringLiteral("not readable");
}

QString DeliveryReports::lastCheckInText(const DeliveryStore::Workstation& w, const QDate& today) {
    return at(w.lastCheckIn, today) +
           QStringLiteral(" (%1 ago)").arg(DeliveryBreakdown::duration(w.secondsSinceCheckIn));
}

QString DeliveryReports::lastFailureText(const DeliveryStore::Workstation& w, const QDate& today) {
    if (w.lastPollFailure.isEmpty()) return {};
    return at(w.lastPollFailureAt, today) + QStringLiteral(": ") + w.lastPollFailure;
}

QString DeliveryReports::wakeUpText(const DeliveryStore::Workstation& w) {
    if (!w.wake) return {};
    QString text =
        w.wake->connected ? QStringLiteral("connected to ") + w.wake->broker : QStringLiteral("not connected");
    if (w.wake->unconfirmed > 0)
        text += QStringLiteral("; %1 not confirmed by the database").arg(formatGrouped(w.wake->unconfirmed));
    if (w.wake->dropped > 0) text += QStringLiteral("; %1 dropped unread").arg(formatGrouped(w.wake->dropped));
    return text;
}

QString DeliveryReports::addressText(const DeliveryStore::Workstation& w) {
    if (w.otherAddresses.isEmpty()) return w.address;
    return w.address + QStringLiteral(", also ") + w.otherAddresses.join(QStringLiteral(", ")) +
           QStringLiteral(" (two computers report as this workstation)");
}

QString DeliveryReports::cannotReadText(const DeliveryStore::Workstation& w) {
    return w.unreadable.join(QStringLiteral(", "));
}

ReportDefinition DeliveryReports::workstations(const QList<DeliveryStore::Workstation>& list,
                                               const QDateTime& serverNow) {
    ReportDefinition r;
    r.title = QStringLiteral("Complete List of All Workstations");
    r.captionPrefix = QStringLiteral("Complete List of All Workstations (");
    int silent = 0;
    for (const DeliveryStore::Workstation& w : list)
        silent += w.silent ? 1 : 0;
    r.summary << summaryLine(QStringLiteral("As of:"),
                             formatMonthDayYear(serverNow.date()) + u' ' + formatAmPm(serverNow.time(), true))
              << summaryLine(QStringLiteral("Listening:"), formatGrouped(list.size() - silent))
              << summaryLine(QStringLiteral("Silent:"), formatGrouped(silent));
    QStringList columns{"Workstation", "User",   "Version", "LastCheckIn", "State",
                        "Sound",       "Volume", "Mute",    "LastFailure"};
    r.fields = {{QStringLiteral("Workstation:"), 16, columns[0]}, {QStringLiteral("User:"), 16, columns[1]},
                {QStringLiteral("Version:"), 16, columns[2]},     {QStringLiteral("Last Check-In:"), 16, columns[3]},
                {QStringLiteral("State:"), 16, columns[4]},       {QStringLiteral("Sound Device:"), 16, columns[5]},
                {QStringLiteral("Volume:"), 16, columns[6]},      {QStringLiteral("Mute:"), 16, columns[7]},
                {QStringLiteral("Last Failure:"), 16, columns[8]}};
    // The later columns where some workstation has something to say in them.
    bool wakeUp = false, address = false, cannotRead = false, audiences = false;
    for (const DeliveryStore::Workstation& w : list) {
        audiences = audiences || !w.audiences.isEmpty();
        wakeUp = wakeUp || w.wake.has_value();
        address = address || !w.address.isEmpty();
        cannotRead = cannotRead || !w.unreadable.isEmpty();
    }
    for (const auto& [wanted, column, label] :
         {std::tuple{wakeUp, "WakeUp", "Wake-Up:"}, std::tuple{address, "Address", "Address:"},
          std::tuple{cannotRead, "CannotRead", "Cannot Read:"}, std::tuple{audiences, "Audiences", "Audiences:"}}) {
        if (!wanted) continue;
        columns << QLatin1String(column);
        r.fields.append({QLatin1String(label), 16, columns.last()});
    }
    QList<QSqlRecord> rows;
    const QDate today = serverNow.date();
    for (const DeliveryStore::Workstation& w : list) {
        QStringList values{w.hostName,   w.desktopUser, w.programVersion, lastCheckInText(w, today), stateText(w),
                           soundText(w), volumeText(w), muteText(w),      lastFailureText(w, today)};
        if (wakeUp) values << wakeUpText(w);
        if (address) values << addressText(w);
        if (cannotRead) values << cannotReadText(w);
        if (audiences) values << w.audiences.join(QStringLiteral(", "));
        rows << ReportDefinition::textRow(columns, values);
    }
    r.rows = rows;
    return r;
}

} // namespace hv
