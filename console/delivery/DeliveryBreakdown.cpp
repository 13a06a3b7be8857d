#include "delivery/DeliveryBreakdown.h"

#include "DeliveryTerms.h"
#include "Formats.h"
#include "HostPattern.h"
#include "SiteFacts.h"

#include <QSet>

namespace hv {

namespace {

using Receipt = DeliveryStore::Receipt;

// How long an alert stays on the workstations after its minute.

// A moment of the alert's own day shows its time only; another day's shows its date too.
QString moment(const QDateTime& at, const QDate& alertDay) {
    if (!at.isValid()) return {};
    const QString time = formatAmPm(at.time(), true);
    return at.date() == alertDay ? time : formatMonthDayYear(at.date()) + u' ' + time;
}

QString volumeText(const Receipt& r) {
    if (!r.volumeBefore) return QStringLiteral("volume could not be read");
    QString text = QStringLiteral("volume %1").arg(*r.volumeBefore);
    if (r.volumeDuring && *r.volumeDuring != *r.volumeBefore)
        text += QStringLiteral(", raised to %1").arg(*r.volumeDuring);
    if (!r.volumeAfter)
        text += QStringLiteral(", could not be read after");
    else if (*r.volumeAfter != *r.volumeBefore)
        text += QStringLiteral(", %1 after (not put back)").arg(*r.volumeAfter);
    else if (r.volumeDuring && *r.volumeDuring != *r.volumeBefore)
        text += QStringLiteral(", put back after");
    return text;
}

QString muteText(const Receipt& r) {
    if (!r.muteLifted) return QStringLiteral("mute could not be read");
    if (!*r.muteLifted) return QStringLiteral("not muted");
    if (r.muteRestored && *r.muteRestored) return QStringLiteral("mute lifted for the ring, on again after");
    return QStringLiteral("mute lifted for the ring, not on again after");
}

QString failureText(const Receipt& r) {
    QString text =
        r.ringResult == delivery::kNoDevice ? QStringLiteral("no sound device") : QStringLiteral("playback failed");
    if (!r.ringReason.isEmpty()) text += QStringLiteral(": ") + r.ringReason;
    return text;
}

QString ringSummary(const Receipt& r) {
    if (r.ringResult == delivery::kPlayed) return QStringLiteral("rang");
    if (r.ringResult.isEmpty()) return QStringLiteral("no ring reported");
    return failureText(r);
}

} // namespace

bool DeliveryBreakdown::inAudience(const AlertAudience& audience, const QString& hostName) {
    for (const QString& pattern : audience.patterns)
        if (hostpattern::matches(pattern, hostName)) return true;
    return false;
}

QString DeliveryBreakdown::audienceLine(const DeliveryStore::Delivery& d) const {
    if (!d.audience) return {};
    const int saw = count(Saw);
    return QStringLiteral("Audience: %1 (%2 of %3 saw it)")
        .arg(d.audience->name, formatGrouped(saw), formatGrouped(saw + count(NotSeenYet) + count(Silent)));
}

QString DeliveryBreakdown::caption(Group group) {
    switch (group) {
    case Saw:
        return QStringLiteral("Saw it");
    case Rang:
        return QStringLiteral("Rang");
    case FailedToRing:
        return QStringLiteral("Failed to ring");
    case Closed:
        return QStringLiteral("Closed the popup");
    case NotSeenYet:
        return QStringLiteral("Checking in, not seen yet");
    case CalledForHelp:
        return QStringLiteral("Called for help");
    case Answered:
        return QStringLiteral("Answered");
    case NotAnswered:
        return QStringLiteral("Saw it, not answered");
    case Silent:
    case GroupCount:
        break;
    }
    return QStringLiteral("Silent");
}

QList<DeliveryBreakdown::Group> DeliveryBreakdown::shown(const DeliveryStore::Delivery& d) {
    const QList<Group> before{Saw, Rang, FailedToRing, Closed, NotSeenYet, Silent};
    if (!d.presentation || d.presentation->answers.isEmpty()) return before;
    return QList<Group>{CalledForHelp, Answered, NotAnswered} + before;
}

QString DeliveryBreakdown::answersLine(const DeliveryStore::Delivery& d) {
    if (!d.presentation || d.presentation->answers.isEmpty()) return {};
    QStringList kinds;
    for (const QString& offered : d.presentation->answers) {
        int n = 0;
        for (const DeliveryStore::AlertAnswer& a : d.answers)
            n += a.answer == offered;
        kinds << offered + u' ' + formatGrouped(n);
    }
    QSet<QString> saw;
    for (const Receipt& r : d.receipts)
        saw.insert(r.hostName + QChar(0) + r.desktopUser);
    for (const DeliveryStore::AlertAnswer& a : d.answers)
        saw.remove(a.hostName + QChar(0) + a.desktopUser);
    return QStringLiteral("Answers: ") + kinds.join(QStringLiteral(", ")) + QStringLiteral("; not answered yet ") +
           formatGrouped(int(saw.size()));
}

QString DeliveryBreakdown::alertLine(const DeliveryStore::LoggedAlert& alert) {
    return formatMonthDayYear(alert.codeDate) + u' ' + formatAmPm(alert.codeTime) + QStringLiteral(" - CODE ") +
           alert.codeName + QStringLiteral(" - Location = ") + alert.codeLocation;
}

QString DeliveryBreakdown::duration(qint64 seconds) {
    seconds = qMax<qint64>(0, seconds);
    const qint64 days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60, secs = seconds % 60;
    QStringList parts;
    if (days) parts << QStringLiteral("%1 d").arg(days);
    if (hours) parts << QStringLiteral("%1 h").arg(hours);
    if (minutes && !days) parts << QStringLiteral("%1 min").arg(minutes);
    if ((secs || parts.isEmpty()) && !days && !hours) parts << QStringLiteral("%1 s").arg(secs);
    return parts.join(u' ');
}

DeliveryBreakdown DeliveryBreakdown::of(const DeliveryStore::Delivery& d) {
    DeliveryBreakdown b;
    const QDate day = d.alert.codeDate;
    QSet<QString> seen;
    const auto key = [](const QString& host, const QString& user) { return host + QChar(0) + user; };

    for (const Receipt& r : d.receipts) {
        // One workstation that showed two alerts of the same values counts once, with its first.
        const QString k = key(r.hostName, r.desktopUser);
        if (seen.contains(k)) continue;
        seen.insert(k);
        QString sawDetail = ringSummary(r);
        if (r.closedAt.isValid()) sawDetail += QStringLiteral(", closed the popup");
        if (r.channel == delivery::kByWakeUp)
            sawDetail += QStringLiteral(", by wake-up");
        else if (r.channel == delivery::kByPoll)
            sawDetail += QStringLiteral(", by poll");
        // The address the server saw; two are two computers that claim to be this workstation.
        if (r.addresses.size() == 1)
            sawDetail += QStringLiteral(", from ") + r.addresses.front();
        else if (r.addresses.size() > 1)
            sawDetail += QStringLiteral(", from ") + r.addresses.join(QStringLiteral(" and ")) +
                         QStringLiteral(" (two computers report as this workstation)");
        b.m_groups[Saw].append({r.hostName, r.desktopUser, moment(r.shownAt, day), sawDetail});
        if (r.ringResult == delivery::kPlayed)
            b.m_groups[Rang].append(
                {r.hostName, r.desktopUser, moment(r.rangAt, day), volumeText(r) + QStringLiteral("; ") + muteText(r)});
        else if (!r.ringResult.isEmpty())
            b.m_groups[FailedToRing].append({r.hostName, r.desktopUser, moment(r.rangAt, day), failureText(r)});
        if (r.closedAt.isValid())
            b.m_groups[Closed].append({r.hostName, r.desktopUser, moment(r.closedAt, day),
                                       QStringLiteral("shown ") + moment(r.shownAt, day)});
    }

    // The answers, calls for help first (as read), and those who saw it and have not answered.
    QSet<QString> answered;
    for (const DeliveryStore::AlertAnswer& a : d.answers) {
        answered.insert(key(a.hostName, a.desktopUser));
        b.m_groups[a.callsForHelp ? CalledForHelp : Answered].append(
            {a.hostName, a.desktopUser, moment(a.answeredAt, day), a.answer});
    }
    if (d.presentation && !d.presentation->answers.isEmpty())
        for (const Entry& e : std::as_const(b.m_groups[Saw]))
            if (!answered.contains(key(e.hostName, e.desktopUser)))
                b.m_groups[NotAnswered].append({e.hostName, e.desktopUser, e.when, QStringLiteral("shown")});

    // Only workstations that were already known while the alert was current can have missed it.
    const QDateTime alertEnd = QDateTime(day, d.alert.codeTime).addSecs(site::kAlertWindowSeconds);
    for (const DeliveryStore::Workstation& w : d.workstations) {
        if (seen.contains(key(w.hostName, w.desktopUser))) continue;
        if (w.firstCheckIn.isValid() && alertEnd.isValid() && w.firstCheckIn > alertEnd) continue;
        // A workstation outside the alert's audience was never meant to see it.
        if (d.audience && !inAudience(*d.audience, w.hostName)) continue;
        // A workstation that checks in but whose polls fail says why it has not seen the alert.
        const QString detail =
            w.lastPollFailure.isEmpty() ? QString() : QStringLiteral("last poll failure: ") + w.lastPollFailure;
        b.m_groups[w.silent ? Silent : NotSeenYet].append(
            {w.hostName, w.desktopUser, QStringLiteral("last check-in ") + moment(w.lastCheckIn, day), detail});
    }
    return b;
}

} // namespace hv
