#include "DeliveryStore.h"

#include "Connection.h"
#include "DeliveryTerms.h"
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
// periods the workstation itself promised.
const QString kWorkstationsStatement =
    QStringLiteral("SELECT HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, "
                   "TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()), "
                   "TIMESTAMPDIFF(SECOND, LastCheckIn, NOW()) > CheckInSeconds + %1 * PollSeconds, "
                   "LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, MuteReadable, NOW() "
                   "FROM workstations ORDER BY HostName, DesktopUser")
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

void readWakeLines(Connection& connection, QList<DeliveryStore::Workstation>& workstations) {
    if (workstations.isEmpty()) return;
    QHash<QString, DeliveryStore::Workstation*> byKey;
    for (DeliveryStore::Workstation& w : workstations)
        byKey.insert(workstationKey(w.hostName, w.desktopUser), &w);
    readIfThere([&] {
        connection.forEach(QStringLiteral("SELECT HostName, DesktopUser, Connected, Broker, ConnectedSince, Received, "
                                          "Dropped, Unconfirmed FROM wakeupchannels"),
                           {}, [&](const QSqlRecord& r) {
                               DeliveryStore::Workstation* w =
                                   byKey.value(workstationKey(textOf(r.value(0)), textOf(r.value(1))));
                               if (!w) return;
                               DeliveryStore::Workstation::WakeLine line;
                               line.connected = r.value(2).toInt() != 0;
                               line.broker = textOf(r.value(3));
                               line.connectedSince = r.value(4).toDateTime();
                               line.received = r.value(5).toLongLong();
                               line.dropped = r.value(6).toLongLong();
                               line.unconfirmed = r.value(7).toLongLong();
                               w->wake = line;
                           });
    });
}

QList<DeliveryStore::Workstation> readWorkstations(Connection& connection, QDateTime* serverNow) {
    QList<DeliveryStore::Workstation> out;
    connection.forEach(kWorkstationsStatement, {}, [&](const QSqlRecord& r) {
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
    if (serverNow && out.isEmpty())
        *serverNow = connection.select(QStringLiteral("SELECT NOW()")).value(0).value(0).toDateTime();
    readWakeLines(connection, out);
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
    connection.forEach(
        QStringLiteral("SELECT AlertID, HostName, DesktopUser, ShownAt, RingResult, RingReason, VolumeBefore, "
                       "VolumeDuring, VolumeAfter, MuteLifted, MuteRestored, RangAt, ClosedAt FROM receipts "
                       "WHERE CodeDate = ? AND CodeTime = ? AND CodeName <=> ? AND CodeLocation <=> ? "
                       "ORDER BY HostName, DesktopUser, AlertID"),
        key, [&](const QSqlRecord& r) {
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
    readIfThere([&] {
        QHash<QString, QString> channels;
        connection.forEach(QStringLiteral("SELECT AlertID, HostName, DesktopUser, Channel FROM receiptchannels WHERE "
                                          "CodeDate = ? AND CodeTime = ?"),
                           {alert.codeDate, alert.codeTime}, [&](const QSqlRecord& r) {
                               channels.insert(r.value(0).toString() + QChar(0) +
                                                   workstationKey(textOf(r.value(1)), textOf(r.value(2))),
                                               textOf(r.value(3)));
                           });
        for (Receipt& x : receipts)
            x.channel =
                channels.value(QString::number(x.alertId) + QChar(0) + workstationKey(x.hostName, x.desktopUser));
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
    d.workstations = readWorkstations(connection, &d.serverNow);
    return d;
}

QList<DeliveryStore::Workstation> DeliveryStore::workstations(QDateTime* serverNow) {
    QList<Workstation> out;
    m_servers.run(readOptions(m_access),
                  [&](Connection& connection) { out = readWorkstations(connection, serverNow); });
    return out;
}

} // namespace hv
