#pragma once

#include "AlertRows.h"
#include "CancelStore.h"
#include "CapMessageStore.h"
#include "PollSnapshot.h"

#include <QList>
#include <QString>

namespace hv {

// A CAP message as it is taken, in the transaction of the alerts it makes: its rows in
// capmessages (row 0 and one per further alert), and the cancellation of the alerts it replaces or
// cancels. Row 0's key makes the message's second taking fail with a duplicate key, and with it
// everything else in that transaction.
class CapMessageRows : public AlertRows {
public:
    // outcome: sent, replaced or cancelled; cancelledBy: who the cancellations name (the message's
    // sender); hostName: this computer.
    CapMessageRows(CapMessageStore::Key key, QString msgType, QString outcome, QString cancelledBy, QString hostName);

    // Earlier alerts to cancel with the message, while they are still shown.
    void cancel(const QList<CapMessageStore::Made>& alerts);
    // Alerts of this site's own CAP export, by their AlertLog row (halvane-send --cap only).
    struct Logged {
        qint64 logId = 0;
        QDate codeDate;
        QTime codeTime;
    };
    void cancelLogged(const QList<Logged>& alerts);

    void write(Connection& connection, const QList<SavedAlert>& alerts) override;
    bool landed(Connection& connection, const QList<SavedAlert>& alerts) override;

    // After the write: how each cancellation went, in the order given (the earlier alerts, then
    // the logged ones).
    const QList<CancelStore::Outcome>& outcomes() const { return m_outcomes; }
    int cancelledCount() const;
    // The alerts that this write cancelled, as the cancellations name them.
    const QList<AlertKey>& cancelledAlerts() const { return m_cancelledAlerts; }

private:
    CapMessageStore::Key m_key;
    QString m_msgType;
    QString m_outcome;
    QString m_cancelledBy;
    QString m_hostName;
    QList<CapMessageStore::Made> m_cancel;
    QList<Logged> m_cancelLogged;
    QList<CancelStore::Outcome> m_outcomes;
    QList<AlertKey> m_cancelledAlerts;
};

} // namespace hv
