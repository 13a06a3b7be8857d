#include "CapMessageRows.h"

#include "Connection.h"

#include <QSqlRecord>

namespace hv {

CapMessageRows::CapMessageRows(CapMessageStore::Key key, QString msgType, QString outcome, QString cancelledBy,
                               QString hostName)
    : m_key(std::move(key)), m_msgType(std::move(msgType)), m_outcome(std::move(outcome)),
      m_cancelledBy(std::move(cancelledBy)), m_hostName(std::move(hostName)) {}

void CapMessageRows::cancel(const QList<CapMessageStore::Made>& alerts) {
    m_cancel += alerts;
}

void CapMessageRows::cancelLogged(const QList<Logged>& alerts) {
    m_cancelLogged += alerts;
}

int CapMessageRows::cancelledCount() const {
    return int(m_outcomes.count(CancelStore::Outcome::Cancelled));
}

void CapMessageRows::write(Connection& connection, const QList<SavedAlert>& alerts) {
    m_outcomes.clear();
    m_cancelledAlerts.clear();
    for (const CapMessageStore::Made& made : std::as_const(m_cancel)) {
        m_outcomes << CancelStore::cancelWithin(connection, made.alertId, made.codeDate, made.codeTime, made.logId,
                                                m_cancelledBy, m_hostName);
        if (m_outcomes.last() == CancelStore::Outcome::Cancelled)
            m_cancelledAlerts.append({made.alertId, made.codeDate, made.codeTime});
    }
    for (const Logged& logged : std::as_const(m_cancelLogged)) {
        qint64 alertId = 0;
        m_outcomes << CancelStore::cancelLoggedWithin(connection, logged.logId, logged.codeDate, logged.codeTime,
                                                      m_cancelledBy, m_hostName, &alertId);
        if (m_outcomes.last() == CancelStore::Outcome::Cancelled)
            m_cancelledAlerts.append({alertId, logged.codeDate, logged.codeTime});
    }

    const QVariant none{QMetaType(QMetaType::Int)};
    const QVariant noDate{QMetaType(QMetaType::QDate)};
    const QVariant noTime{QMetaType(QMetaType::QTime)};
    const QVariant noText{QMetaType(QMetaType::QString)};
    const qsizetype rows = qMax<qsizetype>(1, alerts.size());
    for (qsizetype n = 0; n < rows; ++n) {
        const SavedAlert* a = n < alerts.size() ? &alerts[n] : nullptr;
        connection.execute(
            QStringLiteral("INSERT INTO capmessages (Sender, Identifier, Sent, AlertNo, MsgType, Outcome, Cancelled, "
                           "TakenAt, HostName, AlertID, LogID, CodeDate, CodeTime, CodeName, CodeLocation) VALUES "
                           "(?, ?, ?, ?, ?, ?, ?, NOW(), ?, ?, ?, ?, ?, ?, ?)"),
            {m_key.sender, m_key.identifier, m_key.sent, int(n), m_msgType, m_outcome, n == 0 ? cancelledCount() : 0,
             m_hostName, a ? QVariant(a->alertId) : none, a ? QVariant(a->logId) : none,
             a ? QVariant(a->codeDate.toString(QStringLiteral("yyyy-MM-dd"))) : noDate,
             a ? QVariant(a->codeTime.toString(QStringLiteral("HH:mm:ss"))) : noTime,
             a ? QVariant(a->codeName) : noText, a ? QVariant(a->codeLocation) : noText});
    }
}

bool CapMessageRows::landed(Connection& connection, const QList<SavedAlert>&) {
    // Row 0 with this message's outcome; another gateway's rows for the same message would have
    // cost this transaction its alerts, which the submission looks for itself.
    return connection
               .select(QStringLiteral("SELECT COUNT(*) FROM capmessages WHERE Sender = ? AND Identifier = ? AND "
                                      "Sent = ? AND AlertNo = 0"),
                       {m_key.sender, m_key.identifier, m_key.sent})
               .value(0)
               .value(0)
               .toLongLong() > 0;
}

} // namespace hv
