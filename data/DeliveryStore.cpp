#include "DeliveryStore.h"

#include "AlertPresentations.h"
#include "Connection.h"
#include "DeliveryTerms.h"
#include "HostPattern.h"
#include "StatementBounds.h"

#include <QHash>
#include <QSqlRecord>
#include <algorithm>

namespace hv {

namespace {

ConnectionOptions readOptions(const DatabaseAccess& access) {
    ConnectionOptions options = consoleConnectionOptions(access);
    options.lockWaitSeconds = site::kDeliveryReadLockWaitSeconds;
    options.readTimeoutSeconds = site::kDeliveryReadSeconds;
    return options;
}

const QString kAlertColumns = QStringLiteral("ID, CodeDate, CodeTime, CodeName, CodeLocation, CodeMessage");

DeliveryStore::LoggedAlert loggedAlert(const QSqlRecord& r) {
    return {r.value(0).toLongLong(), r.value(1).toDate(), r.value(2).toTime(),
            textOf(r.value(3)),      textOf(r.value(4)),  textOf(r.value(5))};
}

std::optional<int> optionalInt(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toInt();
}

std::optional<bool> optionalBool(const QVariant& v) {
    if (v.isNull()) return std::nullopt;
    return v.toInt() != 0;
}

// Silent: more than two poll intervals past a check-in it owed, by the server's clock and by the
// periods the workstation itself promised. %2 is the page's start after the first page.
const QString kWorkstationsStatement =
    QStringLiteral("SELECT HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, "
                   "TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()), "
                   "TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()) > CheckInSeconds + %1 * PollSeconds, "
                   "LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, MuteReadable, NOW() "
                   "FROM workstations %2ORDER BY HostName, DesktopUser LIMIT %3")
        .arg(site::kSilentAfterMissedPolls);

// A table that came later than the delivery tables: a database or an account without it shows
// what it did before.
template <class Read> void readIfThere(Read read) {
    try {
        read();
    } catch (const Failure& f) {
        if (f.nativeCode() != dberror::kNoSuchTable && f.number() != code::PermissionDenied) throw;
    }
}

QString workstationKey(const QString& host, const QString& user) {
    return host + QChar(0) + user;
}

// Two reports count as at the same time within a check-in period and the misses that make a
// workstation silent.
constexpr int kSameTimeSeconds = site::kCheckInSeconds + site::kSilentAfterMissedPolls * site::kPollSeconds;

void readReports(Connection& connection, QList<DeliveryStore::Workstation>& workstations) {
    if (workstations.isEmpty()) return;
    QHash<QString, DeliveryStore::Workstation*> byKey;
    for (DeliveryStore::Workstation& w : workstations)
        byKey.insert(workstationKey(w.hostName, w.desktopUser), &w);
    QHash<DeliveryStore::Workstation*, qint64> latestAge;
    readIfThere([&] {
        // Newest first for each workstation; at most a few rows each (one per address it reported from).
        connection.forEach(
            QStringLiteral("SELECT HostName, DesktopUser, Address, TIMESTAMPDIFF(SECOND, ReportedAt, NOW()), "
                           "Unreadable, WakeConfigured, WakeConnected, WakeBroker, WakeConnectedSince, WakeReceived, "
                           "WakeDropped, WakeUnconfirmed FROM workstationreports ORDER BY HostName, DesktopUser, "
                           "ReportedAt DESC LIMIT %1")
                .arg(DeliveryStore::kMostRows),
            {}, [&](const QSqlRecord& r) {
                DeliveryStore::Workstation* w = byKey.value(workstationKey(textOf(r.value(0)), textOf(r.value(1))));
                if (!w) return;
                const QString address = textOf(r.value(2));
                const qint64 age = r.value(3).toLongLong();
                if (!latestAge.contains(w)) {
                    latestAge.insert(w, age);
                    w->address = address;
                    const QString unreadable = textOf(r.value(4));
                    if (!unreadable.isEmpty()) w->unreadable = unreadable.split(QStringLiteral(", "));
                    if (r.value(5).toInt() != 0) {
                        DeliveryStore::Workstation::WakeLine line;
                        line.connected = r.value(6).toInt() != 0;
                        line.broker = textOf(r.value(7));
                        line.connectedSince = r.value(8).toDateTime();
                        line.received = r.value(9).toLongLong();
                        line.dropped = r.value(10).toLongLong();
                        line.unconfirmed = r.value(11).toLongLong();
                        w->wake = line;
                    }
                } else if (age - latestAge.value(w) <= kSameTimeSeconds && !w->otherAddresses.contains(address)) {
                    w->otherAddresses << address;
                }
            });
    });
}

// The audiences each workstation belongs to now, by the one definition of patterns the poll goes by.
void readAudiences(Connection& connection, QList<DeliveryStore::Workstation>& workstations) {
    QList<std::pair<QString, QString>> patterns; // audience, pattern
    readIfThere([&] {
        connection.forEach(
            QStringLiteral("SELECT a.AudienceName, p.Pattern FROM audiences a JOIN audiencepatterns p ON "
                           "p.AudienceID = a.ID ORDER BY a.AudienceName, p.Pattern"),
            {}, [&](const QSqlRecord& r) {
                patterns.append({textOf(r.value(0)), textOf(r.value(1))});
            });
    });
    for (DeliveryStore::Workstation& w : workstations)
        for (const auto& [audience, pattern] : patterns)
            if ((w.audiences.isEmpty() || w.audiences.last() != audience) && hostpattern::matches(pattern, w.hostName))
                w.audiences << audience;
}

// The audience the alert was sent to, as it was kept with it; none for everyone, and none on a
// database or for an account without audiences (which then counts every workstation, as before).
std::optional<AlertAudience> audienceOf(Connection& connection, qint64 logId) {
    std::optional<AlertAudience> audience;
    try {
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral("SELECT CodeDate, CodeTime, AlertID, AudienceName FROM alertaudiences WHERE LogID = ? "
                           "LIMIT 1"),
            {logId});
        if (found.isEmpty()) return std::nullopt;
        const QSqlRecord& a = found.front();
        AlertAudience read{textOf(a.value(3)), {}};
        for (const QSqlRecord& r : connection.select(
                 QStringLiteral("SELECT Pattern FROM alertpatterns WHERE CodeDate = ? AND CodeTime = ? AND AlertID = ? "
                                "ORDER BY Pattern"),
                 {a.value(0), a.value(1), a.value(2)}))
            read.patterns << textOf(r.value(0));
        // Without patterns it reached everyone.
        if (!read.patterns.isEmpty()) audience = read;
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
    }
    return audience;
}

QList<DeliveryStore::Workstation> readWorkstations(Connection& connection, QDateTime* serverNow, bool* cut) {
    QList<DeliveryStore::Workstation> out;
    // Page after page, each starting after the last workstation of the one before.
    for (;;) {
        const qsizetype before = out.size();
        const bool first = out.isEmpty();
        const QVariantList after = first ? QVariantList() : QVariantList{out.last().hostName, out.last().desktopUser};
        connection.forEach(
            kWorkstationsStatement.arg(first ? QString() : QStringLiteral("WHERE (HostName, DesktopUser) > (?, ?) "))
                .arg(DeliveryStore::kPageRows),
            after, [&](const QSqlRecord& r) {
                DeliveryStore::Workstation w;
                w.hostName = textOf(r.value(0));
                w.desktopUser = textOf(r.value(1));
                w.programVersion = textOf(r.value(2));
                w.firstCheckIn = r.value(3).toDateTime();
                w.lastCheckIn = r.value(4).toDateTime();
                w.secondsSinceCheckIn = r.value(5).toLongLong();
                w.silent = r.value(6).toInt() != 0;
                w.lastPollFailure = textOf(r.value(7));
                w.lastPollFailureAt = r.value(8).toDateTime();
                w.soundDevice = r.value(9).toInt() != 0;
                w.volumeReadable = r.value(10).toInt() != 0;
                w.muteReadable = r.value(11).toInt() != 0;
                if (serverNow) *serverNow = r.value(12).toDateTime();
                out.append(w);
            });
        if (out.size() - before < DeliveryStore::kPageRows) break;
        if (out.size() >= DeliveryStore::kMostRows) {
            if (cut) *cut = true;
            break;
        }
    }
    if (serverNow && out.isEmpty())
        *serverNow = connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime();
    readReports(connection, out);
    return out;
}

} // namespace

std::optional<DeliveryStore::LoggedAlert> DeliveryStore::latestAlert() {
    QList<QSqlRecord> rows;
    m_servers.run(readOptions(m_access), [&](Connection& connection) {
        rows = connection.select(
            QStringLiteral("SELECT %1 FROM AlertLog ORDER BY CodeDate DESC, CodeTime DESC, ID DESC LIMIT 1")
                .arg(kAlertColumns));
    });
    if (rows.isEmpty()) return std::nullopt;
    return loggedAlert(rows.front());
}

QList<DeliveryStore::LoggedAlert> DeliveryStore::alertsOn(const QDate& day) {
    QList<LoggedAlert> out;
    m_servers.run(readOptions(m_access), [&](Connection& connection) {
        out.clear();
        connection.forEach(QStringLiteral("SELECT %1 FROM AlertLog WHERE CodeDate = ? ORDER BY CodeTime DESC, ID DESC")
                               .arg(kAlertColumns),
                           {day}, [&](const QSqlRecord& r) { out.append(loggedAlert(r)); });
    });
    return out;
}

QList<DeliveryStore::Receipt> DeliveryStore::receiptsForRank(const QList<Receipt>& receipts, int rank, int twins) {
    if (twins <= 1) return receipts;
    QList<qint64> ids;
    for (const Receipt& r : receipts)
        if (!ids.contains(r.alertId)) ids.append(r.alertId);
    std::sort(ids.begin(), ids.end());
    if (rank < 0 || rank >= ids.size()) return {};
    QList<Receipt> out;
    for (const Receipt& r : receipts)
        if (r.alertId == ids[rank]) out.append(r);
    return out;
}

DeliveryStore::Delivery DeliveryStore::deliveryOf(const LoggedAlert& alert) {
    Delivery d;
    // A read: another node may answer it again from the start.
    m_servers.run(readOptions(m_access), [&](Connection& connection) { d = deliveryOn(connection, alert); });
    return d;
}

DeliveryStore::Delivery DeliveryStore::deliveryOn(Connection& connection, const LoggedAlert& alert) {
    Delivery d;
    d.alert = alert;

    // The receipts name the alert as the workstations read it from its alerts row, which held the
    // same values as this log row.
    const QVariantList key{alert.codeDate, alert.codeTime, alert.codeName, alert.codeLocation};
    int twins = 0, rank = 0;
    connection.forEach(QStringLiteral("SELECT ID FROM AlertLog WHERE CodeDate = ? AND CodeTime = ? AND CodeName <=> ? "
                                      "AND CodeLocation <=> ? ORDER BY ID"),
                       key, [&](const QSqlRecord& r) {
                           if (r.value(0).toLongLong() < alert.id) ++rank;
                           ++twins;
                       });

    QList<Receipt> receipts;
    for (;;) {
        const qsizetype before = receipts.size();
        const bool first = receipts.isEmpty();
        QVariantList binds = key;
        if (!first) binds << receipts.last().hostName << receipts.last().desktopUser << receipts.last().alertId;
        connection.forEach(
            QStringLiteral("SELECT AlertID, HostName, DesktopUser, ShownAt, RingResult, RingReason, VolumeBefore, "
                           "VolumeDuring, VolumeAfter, MuteLifted, MuteRestored, RangAt, ClosedAt FROM receipts "
                           "WHERE CodeDate = ? AND CodeTime = ? AND CodeName <=> ? AND CodeLocation <=> ? %1"
                           "ORDER BY HostName, DesktopUser, AlertID LIMIT %2")
                .arg(first ? QString() : QStringLiteral("AND (HostName, DesktopUser, AlertID) > (?, ?, ?) "))
                .arg(kPageRows),
            binds, [&](const QSqlRecord& r) {
                Receipt x;
                x.alertId = r.value(0).toLongLong();
                x.hostName = textOf(r.value(1));
                x.desktopUser = textOf(r.value(2));
                x.shownAt = r.value(3).toDateTime();
                x.ringResult = textOf(r.value(4));
                x.ringReason = textOf(r.value(5));
                x.volumeBefore = optionalInt(r.value(6));
                x.volumeDuring = optionalInt(r.value(7));
                x.volumeAfter = optionalInt(r.value(8));
                x.muteLifted = optionalBool(r.value(9));
                x.muteRestored = optionalBool(r.value(10));
                x.rangAt = r.value(11).toDateTime();
                x.closedAt = r.value(12).toDateTime();
                receipts.append(x);
            });
        if (receipts.size() - before < kPageRows) break;
        if (receipts.size() >= kMostRows) {
            d.cut = true;
            break;
        }
    }
    readIfThere([&] {
        // Where each came from and how, the first first.
        QHash<QString, Receipt*> byKey;
        for (Receipt& x : receipts)
            byKey.insert(QString::number(x.alertId) + QChar(0) + workstationKey(x.hostName, x.desktopUser), &x);
        connection.forEach(QStringLiteral("SELECT AlertID, HostName, DesktopUser, Address, Channel FROM receiptorigins "
                                          "WHERE CodeDate = ? AND CodeTime = ? ORDER BY RecordedAt LIMIT %1")
                               .arg(kMostRows),
                           {alert.codeDate, alert.codeTime}, [&](const QSqlRecord& r) {
                               Receipt* x = byKey.value(r.value(0).toString() + QChar(0) +
                                                        workstationKey(textOf(r.value(1)), textOf(r.value(2))));
                               if (!x) return;
                               if (x->channel.isEmpty()) x->channel = textOf(r.value(4));
                               if (!x->addresses.contains(textOf(r.value(3)))) x->addresses << textOf(r.value(3));
                           });
    });
    d.receipts = receiptsForRank(receipts, rank, twins);
    try {
        connection.forEach(
            QStringLiteral("SELECT CancelledBy, HostName, CancelledAt FROM cancellations WHERE LogID = ? "
                           "ORDER BY CancelledAt LIMIT 1"),
            {alert.id}, [&](const QSqlRecord& r) {
                d.cancellation = Cancellation{textOf(r.value(0)), textOf(r.value(1)), r.value(2).toDateTime()};
            });
    } catch (const Failure& f) {
        // A database from before cancelling, or an account that may not read them: the delivery
        // is shown as it was before.
        if (f.nativeCode() != kNoSuchTable && f.number() != code::PermissionDenied) throw;
    }
    d.audience = audienceOf(connection, alert.id);
    readIfThere([&] {
        for (const QSqlRecord& r : connection.select(
                 QStringLiteral("SELECT %1 FROM alertpresentations WHERE LogID = ?").arg(AlertPresentations::columns()),
                 {alert.id}))
            d.presentation = AlertPresentations::fromRow(r, 0);
        if (!d.presentation || d.presentation->answers.isEmpty()) return;
        connection.forEach(
            QStringLiteral("SELECT a.HostName, a.DesktopUser, a.Answer, a.CallsForHelp, a.AnsweredAt FROM "
                           "alertpresentations p JOIN answers a ON a.CodeDate = p.CodeDate AND a.CodeTime = p.CodeTime "
                           "AND a.AlertID = p.AlertID WHERE p.LogID = ? ORDER BY a.CallsForHelp DESC, a.AnsweredAt, "
                           "a.HostName, a.DesktopUser LIMIT %1")
                .arg(kMostRows),
            {alert.id}, [&](const QSqlRecord& r) {
                d.answers << AlertAnswer{textOf(r.value(0)), textOf(r.value(1)), textOf(r.value(2)),
                                         r.value(3).toInt() != 0, r.value(4).toDateTime()};
            });
    });
    bool cut = false;
    d.workstations = readWorkstations(connection, &d.serverNow, &cut);
    d.cut = d.cut || cut;
    return d;
}

QList<DeliveryStore::Workstation> DeliveryStore::workstations(QDateTime* serverNow, bool* cut) {
    QList<Workstation> out;
    m_servers.run(readOptions(m_access), [&](Connection& connection) {
        out = readWorkstations(connection, serverNow, cut);
        readAudiences(connection, out);
    });
    return out;
}

} // namespace hv
