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

WriteOutcome run(Connection& connection, const QString& statement, const QVariantList& binds,
                 std::optional<Failure>* failure = nullptr) {
    try {
        connection.execute(boundedStatement(site::kDeliveryStatementSeconds, statement), binds);
        return WriteOutcome::Written;
    } catch (const Failure& f) {
        if (failure) failure->emplace(f);
        return dberror::unanswered(f) ? WriteOutcome::Lost : WriteOutcome::Refused;
    }
}

// Through the procedure where the database has it; the direct statement where it has not. False
// when the procedure is missing (the caller then writes directly).
bool throughDoor(WriteDoors* doors, Connection& connection, const QString& call, const QVariantList& binds,
                 WriteOutcome& outcome) {
    if (doors && !doors->procedures()) return false;
    std::optional<Failure> failure;
    outcome = run(connection, call, binds, &failure);
    if (failure && dberror::noSuchRoutine(*failure)) {
        if (doors) doors->procedureMissing();
        return false;
    }
    if (doors && outcome == WriteOutcome::Written) doors->procedureFound();
    return true;
}

// The worse of two outcomes: one not answered stops the writing, one refused is asked again later.
WriteOutcome worse(WriteOutcome a, WriteOutcome b) {
    if (a == WriteOutcome::Lost || b == WriteOutcome::Lost) return WriteOutcome::Lost;
    if (a == WriteOutcome::Refused || b == WriteOutcome::Refused) return WriteOutcome::Refused;
    return WriteOutcome::Written;
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

QString DeliveryWrites::receiptCall() {
    return QStringLiteral("CALL tray_receipt(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
}

QString DeliveryWrites::answerCall() {
    return QStringLiteral("CALL tray_answer(?, ?, ?, ?, ?, ?, ?)");
}

WriteOutcome DeliveryWrites::writeAnswer(Connection& connection, const WorkstationIdentity& me,
                                         const AnswerWrite& answer) {
    return run(connection, answerCall(),
               {answer.alert.codeDate, answer.alert.codeTime, answer.alert.id, me.hostName, me.desktopUser,
                answer.answer, ago(answer.answeredAt)});
}

QString DeliveryWrites::closeCall() {
    return QStringLiteral("CALL tray_close(?, ?, ?, ?, ?, ?)");
}

QString DeliveryWrites::closeStatement() {
    return QStringLiteral("UPDATE receipts SET ClosedAt = NOW(3) - INTERVAL ? MICROSECOND WHERE CodeDate = ? AND "
                          "CodeTime = ? AND AlertID = ? AND HostName = ? AND DesktopUser = ? AND ClosedAt IS NULL");
}

WriteOutcome DeliveryWrites::writeReceipts(Connection& connection, const WorkstationIdentity& me,
                                           const QList<ReceiptWrite>& receipts, WriteDoors* doors) {
    if (receipts.isEmpty()) return WriteOutcome::Written;
    const auto values = [&me](const ReceiptWrite& r) {
        return QVariantList{r.alert.codeDate,
                            r.alert.codeTime,
                            r.alert.id,
                            me.hostName,
                            me.desktopUser,
                            r.alert.codeName,
                            r.alert.codeLocation,
                            ago(r.shownAt),
                            resultWord(r.ring),
                            limited(r.ring.reason, 255),
                            optional(r.ring.volumeBefore),
                            optional(r.ring.volumeDuring),
                            optional(r.ring.volumeAfter),
                            optional(r.ring.muteLifted),
                            optional(r.ring.muteRestored),
                            ago(r.rangAt),
                            ago(r.closedAt)};
    };
    WriteOutcome all = WriteOutcome::Written;
    for (qsizetype i = 0; i < receipts.size(); ++i) {
        const ReceiptWrite& r = receipts[i];
        WriteOutcome one = WriteOutcome::Written;
        if (!throughDoor(
                doors, connection, receiptCall(),
                values(r) << (r.channel.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(r.channel)),
                one)) {
            // A database from before the procedures: the rest in one statement, as before.
            QVariantList binds;
            for (qsizetype j = i; j < receipts.size(); ++j)
                binds << values(receipts[j]);
            return worse(all, run(connection, receiptStatement(int(receipts.size() - i)), binds));
        }
        all = worse(all, one);
        if (all == WriteOutcome::Lost) break;
    }
    return all;
}

WriteOutcome DeliveryWrites::writeClose(Connection& connection, const WorkstationIdentity& me, const CloseWrite& close,
                                        WriteDoors* doors) {
    WriteOutcome outcome = WriteOutcome::Written;
    if (throughDoor(doors, connection, closeCall(),
                    {close.alert.codeDate, close.alert.codeTime, close.alert.id, me.hostName, me.desktopUser,
                     ago(close.closedAt)},
                    outcome))
        return outcome;
    return run(
        connection, closeStatement(),
        {ago(close.closedAt), close.alert.codeDate, close.alert.codeTime, close.alert.id, me.hostName, me.desktopUser});
}

bool WriteDoors::procedures() const {
    return !m_missingSince.isValid() || m_missingSince.elapsed() >= qint64(site::kCheckInSeconds) * 1000;
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

QString CheckIn::call() {
    return QStringLiteral("CALL tray_check_in(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
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
    const QVariantList common{
        m_identity.hostName, m_identity.desktopUser, m_version, site::kCheckInSeconds, site::kPollSeconds, failure,
        failureAgo};
    const QVariantList audio{m_audio.soundDevice ? 1 : 0, m_audio.volumeReadable ? 1 : 0, m_audio.muteReadable ? 1 : 0};
    const bool connected = m_wake.configured && m_wake.connected;
    WriteOutcome outcome = WriteOutcome::Written;
    const bool procedure =
        throughDoor(&m_doors, connection, call(),
                    common + audio +
                        QVariantList{limited(m_unreadable.join(QStringLiteral(", ")), 255), m_wake.configured ? 1 : 0,
                                     m_wake.configured ? QVariant(connected ? 1 : 0) : QVariant(),
                                     connected ? limited(m_wake.broker, 255) : QVariant(),
                                     connected ? QVariant(qMax<qint64>(0, m_wake.connectedForMs) * 1000) : QVariant(),
                                     m_wake.received, m_wake.dropped, m_wake.unconfirmed},
                    outcome);
    if (!procedure) outcome = run(connection, statement(), common + audio);
    if (outcome == WriteOutcome::Written) {
        ++m_written;
        if (procedure && m_wake.configured) m_wakeConnectedWritten = m_wake.connected;
    }
    if (outcome != WriteOutcome::Lost) m_last.start();
    return outcome;
}

} // namespace hv
