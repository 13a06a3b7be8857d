#include "DeliveryWrites.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "DeliveryTerms.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

namespace hv {

namespace {

// Microseconds since a moment this workstation measured on its own steady clock: the statement
// turns it into the server's time of that moment, so that no workstation clock enters the tables.
QVariant ago(const QElapsedTimer& since) {
    return since.isValid() ? QVariant(since.nsecsElapsed() / 1000) : QVariant();
}

QVariant optional(const std::optional<long>& v) {
    return v ? QVariant(qlonglong(*v)) : QVariant();
}

QVariant optional(const std::optional<bool>& v) {
    return v ? QVariant(*v ? 1 : 0) : QVariant();
}

QVariant resultWord(const RingReport& ring) {
    switch (ring.result) {
    case RingReport::Result::Played:
        return delivery::kPlayed;
    case RingReport::Result::NoDevice:
        return delivery::kNoDevice;
    case RingReport::Result::Failed:
        return delivery::kFailed;
    case RingReport::Result::NotRung:
        break;
    }
    return {};
}

QVariant limited(const QString& text, int length) {
    return text.isEmpty() ? QVariant() : QVariant(text.left(length));
}

WriteOutcome run(Connection& connection, const QString& statement, const QVariantList& binds) {
    try {
        connection.execute(boundedStatement(site::kDeliveryStatementSeconds, statement), binds);
        return WriteOutcome::Written;
    } catch (const Failure& f) {
        return dberror::unanswered(f) ? WriteOutcome::Lost : WriteOutcome::Refused;
    }
}

} // namespace

QString DeliveryWrites::receiptStatement(int rows) {
    QString sql = QStringLiteral(
        "INSERT IGNORE INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, CodeName, CodeLocation, "
        "ShownAt, RingResult, RingReason, VolumeBefore, VolumeDuring, VolumeAfter, MuteLifted, MuteRestored, RangAt, "
        "ClosedAt) VALUES ");
    const QString row = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, NOW(3) - INTERVAL ? MICROSECOND, ?, ?, ?, ?, ?, ?, ?, "
                                       "NOW(3) - INTERVAL ? MICROSECOND, NOW(3) - INTERVAL ? MICROSECOND)");
    for (int i = 0; i < rows; ++i) {
        if (i) sql += QStringLiteral(", ");
        sql += row;
    }
    return sql;
}

QString DeliveryWrites::channelStatement(int rows) {
    QString sql = QStringLiteral(
        "INSERT IGNORE INTO receiptchannels (CodeDate, CodeTime, AlertID, HostName, DesktopUser, Channel) VALUES ");
    for (int i = 0; i < rows; ++i)
        sql += i ? QStringLiteral(", (?, ?, ?, ?, ?, ?)") : QStringLiteral("(?, ?, ?, ?, ?, ?)");
    return sql;
}

QString DeliveryWrites::closeStatement() {
    return QStringLiteral("UPDATE receipts SET ClosedAt = NOW(3) - INTERVAL ? MICROSECOND WHERE CodeDate = ? AND "
                          "CodeTime = ? AND AlertID = ? AND HostName = ? AND DesktopUser = ? AND ClosedAt IS NULL");
}

WriteOutcome DeliveryWrites::writeReceipts(Connection& connection, const WorkstationIdentity& me,
                                           const QList<ReceiptWrite>& receipts) {
    if (receipts.isEmpty()) return WriteOutcome::Written;
    QVariantList binds;
    binds.reserve(receipts.size() * 17);
    for (const ReceiptWrite& r : receipts) {
        binds << r.alert.codeDate << r.alert.codeTime << r.alert.id << me.hostName << me.desktopUser << r.alert.codeName
              << r.alert.codeLocation << ago(r.shownAt) << resultWord(r.ring) << limited(r.ring.reason, 255)
              << optional(r.ring.volumeBefore) << optional(r.ring.volumeDuring) << optional(r.ring.volumeAfter)
              << optional(r.ring.muteLifted) << optional(r.ring.muteRestored) << ago(r.rangAt) << ago(r.closedAt);
    }
    const WriteOutcome written = run(connection, receiptStatement(int(receipts.size())), binds);
    if (written != WriteOutcome::Written) return written;
    QVariantList channels;
    int rows = 0;
    for (const ReceiptWrite& r : receipts) {
        if (r.channel.isEmpty()) continue;
        channels << r.alert.codeDate << r.alert.codeTime << r.alert.id << me.hostName << me.desktopUser << r.channel;
        ++rows;
    }
    // Said with the receipts, never instead of them: how it came is worth less than that it came.
    if (rows > 0) run(connection, channelStatement(rows), channels);
    return written;
}

WriteOutcome DeliveryWrites::writeClose(Connection& connection, const WorkstationIdentity& me,
                                        const CloseWrite& close) {
    return run(
        connection, closeStatement(),
        {ago(close.closedAt), close.alert.codeDate, close.alert.codeTime, close.alert.id, me.hostName, me.desktopUser});
}

CheckIn::CheckIn(WorkstationIdentity identity, QString programVersion)
    : m_identity(std::move(identity)), m_version(std::move(programVersion)) {
    m_started.start();
}

QString CheckIn::statement() {
    return QStringLiteral(
        "INSERT INTO workstations (HostName, DesktopUser, ProgramVersion, FirstCheckIn, LastCheckIn, CheckInSeconds, "
        "PollSeconds, LastPollFailure, LastPollFailureAt, SoundDevice, VolumeReadable, MuteReadable) VALUES (?, ?, ?, "
        "NOW(), NOW(), ?, ?, ?, NOW() - INTERVAL ? MICROSECOND, ?, ?, ?) ON DUPLICATE KEY UPDATE "
        "ProgramVersion = VALUES(ProgramVersion), LastCheckIn = VALUES(LastCheckIn), "
        "CheckInSeconds = VALUES(CheckInSeconds), PollSeconds = VALUES(PollSeconds), "
        "LastPollFailure = VALUES(LastPollFailure), LastPollFailureAt = VALUES(LastPollFailureAt), "
        "SoundDevice = VALUES(SoundDevice), VolumeReadable = VALUES(VolumeReadable), "
        "MuteReadable = VALUES(MuteReadable)");
}

QString CheckIn::wakeStatement() {
    return QStringLiteral(
        "INSERT INTO wakeupchannels (HostName, DesktopUser, Connected, Broker, ConnectedSince, Received, Dropped, "
        "Unconfirmed, ReportedAt) VALUES (?, ?, ?, ?, NOW() - INTERVAL ? MICROSECOND, ?, ?, ?, NOW()) "
        "ON DUPLICATE KEY UPDATE Connected = VALUES(Connected), Broker = VALUES(Broker), "
        "ConnectedSince = VALUES(ConnectedSince), Received = VALUES(Received), Dropped = VALUES(Dropped), "
        "Unconfirmed = VALUES(Unconfirmed), ReportedAt = VALUES(ReportedAt)");
}

void CheckIn::pollFailed(const Failure& failure) {
    m_lastPollFailure = failure;
    m_lastPollFailureAt.start();
}

bool CheckIn::due() const {
    if (!m_last.isValid()) return m_started.elapsed() >= m_firstAfterMs;
    if (m_wake.configured && m_wakeConnectedWritten && *m_wakeConnectedWritten != m_wake.connected) return true;
    // Half a poll early, so that the poll nearest the minute takes it rather than the one after.
    return m_last.elapsed() >= site::kCheckInSeconds * 1000 - site::kPollSeconds * 500;
}

WriteOutcome CheckIn::write(Connection& connection) {
    QVariant failure, failureAgo;
    if (m_lastPollFailure) {
        failure =
            QStringLiteral("%1 %2").arg(m_lastPollFailure->number()).arg(m_lastPollFailure->description()).left(255);
        failureAgo = ago(m_lastPollFailureAt);
    }
    const WriteOutcome outcome =
        run(connection, statement(),
            {m_identity.hostName, m_identity.desktopUser, m_version, site::kCheckInSeconds, site::kPollSeconds, failure,
             failureAgo, m_audio.soundDevice ? 1 : 0, m_audio.volumeReadable ? 1 : 0, m_audio.muteReadable ? 1 : 0});
    if (outcome == WriteOutcome::Written) ++m_written;
    if (outcome != WriteOutcome::Lost) m_last.start();
    if (outcome == WriteOutcome::Written && m_wake.configured) {
        m_wakeConnectedWritten = m_wake.connected;
        run(connection, wakeStatement(),
            {m_identity.hostName, m_identity.desktopUser, m_wake.connected ? 1 : 0, limited(m_wake.broker, 255),
             m_wake.connected ? QVariant(m_wake.connectedForMs * 1000) : QVariant(), m_wake.received, m_wake.dropped,
             m_wake.unconfirmed});
    }
    return outcome;
}

} // namespace hv
