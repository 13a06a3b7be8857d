#include "DeliveryLog.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "DeliveryTerms.h"
#include "SiteFacts.h"
#include "StatementBounds.h"

#include <algorithm>

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

bool sameAlert(const ShownAlert& a, const ShownAlert& b) {
    return a.id == b.id && a.codeDate == b.codeDate && a.codeTime == b.codeTime;
}

} // namespace

DeliveryLog::DeliveryLog(WorkstationIdentity identity, QString programVersion)
    : m_identity(std::move(identity)), m_version(std::move(programVersion)) {
    m_started.start();
}

QString DeliveryLog::checkInStatement() {
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

QString DeliveryLog::receiptStatement(int rows) {
    // The first receipt for an alert stays: a workstation restarted while the alert is current
    // shows and rings it again, but it saw it first back then.
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

QString DeliveryLog::closeStatement() {
    return QStringLiteral("UPDATE receipts SET ClosedAt = NOW(3) - INTERVAL ? MICROSECOND WHERE CodeDate = ? AND "
                          "CodeTime = ? AND AlertID = ? AND HostName = ? AND DesktopUser = ? AND ClosedAt IS NULL");
}

void DeliveryLog::shown(const QList<ShownAlert>& alerts, const QElapsedTimer& shownAt, const RingReport& ring,
                        const QElapsedTimer& rangAt) {
    for (const ShownAlert& a : alerts) {
        Receipt r;
        r.alert = a;
        r.shownAt = shownAt;
        r.ring = ring;
        r.rangAt = rangAt;
        m_receipts.append(r);
    }
    trim();
}

void DeliveryLog::closed(const QList<ShownAlert>& alerts, const QElapsedTimer& closedAt) {
    for (const ShownAlert& a : alerts) {
        // The first close counts; the popup comes back at the next poll and may be closed again.
        const QString key =
            QStringLiteral("%1|%2|%3").arg(a.id).arg(a.codeDate.toJulianDay()).arg(a.codeTime.msecsSinceStartOfDay());
        if (m_closedKeys.contains(key)) continue;
        if (m_closedKeys.size() > MaxPending) m_closedKeys.clear();
        m_closedKeys.insert(key);
        auto receipt =
            std::find_if(m_receipts.begin(), m_receipts.end(), [&](const Receipt& r) { return sameAlert(r.alert, a); });
        if (receipt != m_receipts.end()) {
            receipt->closedAt = closedAt;
            continue;
        }
        m_closes.append({a, closedAt, 0});
    }
    trim();
}

void DeliveryLog::pollFailed(const Failure& failure) {
    m_lastPollFailure = failure;
    m_lastPollFailureAt.start();
}

void DeliveryLog::deferFirstCheckIn(qint64 ms) {
    m_firstCheckInAfterMs = ms;
}

bool DeliveryLog::checkInDue() const {
    if (!m_lastCheckIn.isValid()) return m_started.elapsed() >= m_firstCheckInAfterMs;
    // Half a poll early, so that the poll nearest the minute takes it rather than the one after.
    return m_lastCheckIn.elapsed() >= site::kCheckInSeconds * 1000 - site::kPollSeconds * 500;
}

bool DeliveryLog::refusedRoundDue() const {
    return !m_lastRefusedRound.isValid() || m_lastRefusedRound.elapsed() >= site::kCheckInSeconds * 1000;
}

void DeliveryLog::trim() {
    while (m_receipts.size() + m_closes.size() > MaxPending) {
        if (!m_receipts.isEmpty())
            m_receipts.removeFirst();
        else
            m_closes.removeFirst();
    }
}

DeliveryLog::Outcome DeliveryLog::run(Connection& connection, const QString& statement, const QVariantList& binds) {
    try {
        // As an executable comment, any server other than MariaDB reads the bound as a comment.
        connection.execute(boundedStatement(site::kDeliveryStatementSeconds, statement), binds);
        return Outcome::Written;
    } catch (const Failure& f) {
        return dberror::unanswered(f) ? Outcome::Lost : Outcome::Refused;
    }
}

bool DeliveryLog::writeReceipts(Connection& connection) {
    const bool refusedToo = refusedRoundDue();
    QList<qsizetype> rows;
    for (qsizetype i = 0; i < m_receipts.size(); ++i)
        if (m_receipts[i].refusals == 0 || refusedToo) rows.append(i);
    if (rows.isEmpty()) return true;
    QVariantList binds;
    binds.reserve(rows.size() * 17);
    for (qsizetype i : rows) {
        const Receipt& r = m_receipts[i];
        binds << r.alert.codeDate << r.alert.codeTime << r.alert.id << m_identity.hostName << m_identity.desktopUser
              << r.alert.codeName << r.alert.codeLocation << ago(r.shownAt) << resultWord(r.ring)
              << limited(r.ring.reason, 255) << optional(r.ring.volumeBefore) << optional(r.ring.volumeDuring)
              << optional(r.ring.volumeAfter) << optional(r.ring.muteLifted) << optional(r.ring.muteRestored)
              << ago(r.rangAt) << ago(r.closedAt);
    }
    switch (run(connection, receiptStatement(int(rows.size())), binds)) {
    case Outcome::Written:
        m_receiptsWritten += rows.size();
        for (qsizetype k = rows.size() - 1; k >= 0; --k)
            m_receipts.removeAt(rows[k]);
        return true;
    case Outcome::Refused:
        m_lastRefusedRound.start();
        for (qsizetype k = rows.size() - 1; k >= 0; --k)
            if (++m_receipts[rows[k]].refusals >= MaxRefusals) m_receipts.removeAt(rows[k]);
        return true;
    case Outcome::Lost:
        break;
    }
    return false;
}

bool DeliveryLog::writeCloses(Connection& connection) {
    const bool refusedToo = refusedRoundDue();
    for (qsizetype i = 0; i < m_closes.size();) {
        Close& c = m_closes[i];
        if (c.refusals > 0 && !refusedToo) {
            ++i;
            continue;
        }
        switch (run(connection, closeStatement(),
                    {ago(c.closedAt), c.alert.codeDate, c.alert.codeTime, c.alert.id, m_identity.hostName,
                     m_identity.desktopUser})) {
        case Outcome::Written:
            m_closes.removeAt(i);
            break;
        case Outcome::Refused:
            m_lastRefusedRound.start();
            if (++c.refusals >= MaxRefusals)
                m_closes.removeAt(i);
            else
                ++i;
            break;
        case Outcome::Lost:
            return false;
        }
    }
    return true;
}

void DeliveryLog::checkIn(Connection& connection) {
    QVariant failure, failureAgo;
    if (m_lastPollFailure) {
        failure =
            QStringLiteral("%1 %2").arg(m_lastPollFailure->number()).arg(m_lastPollFailure->description()).left(255);
        failureAgo = ago(m_lastPollFailureAt);
    }
    const Outcome outcome =
        run(connection, checkInStatement(),
            {m_identity.hostName, m_identity.desktopUser, m_version, site::kCheckInSeconds, site::kPollSeconds, failure,
             failureAgo, m_audio.soundDevice ? 1 : 0, m_audio.volumeReadable ? 1 : 0, m_audio.muteReadable ? 1 : 0});
    if (outcome == Outcome::Written) ++m_checkInsWritten;
    // A server that answered (without the tables, say) is asked again a period later, not at the
    // next poll; one that gave no answer is asked at the next poll.
    if (outcome != Outcome::Lost) m_lastCheckIn.start();
}

void DeliveryLog::writeOn(Connection& connection) {
    if (!writeReceipts(connection)) return;
    if (!writeCloses(connection)) return;
    if (checkInDue()) checkIn(connection);
}

void DeliveryLog::writeNow(const ServerList& servers, const DatabaseAccess& access) {
    const bool refusedToo = refusedRoundDue();
    const bool owed =
        checkInDue() ||
        std::any_of(m_receipts.begin(), m_receipts.end(),
                    [&](const Receipt& r) { return !r.refusals || refusedToo; }) ||
        std::any_of(m_closes.begin(), m_closes.end(), [&](const Close& c) { return !c.refusals || refusedToo; });
    if (!owed) return;
    ConnectionOptions options;
    options.connectTimeoutSeconds = site::kDeliveryStatementSeconds;
    options.readTimeoutSeconds = site::kDeliveryStatementSeconds * 2;
    options.writeTimeoutSeconds = site::kDeliveryStatementSeconds * 2;
    options.access = access;
    try {
        // The first node that answers; what it does not take waits for the next poll.
        servers.run(options, [&](Connection& connection) { writeOn(connection); });
    } catch (const Failure&) {
        // Not reached: what is owed waits for the next poll.
    }
}

} // namespace hv
