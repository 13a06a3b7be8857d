#include "poll/DatabaseWorker.h"

#include "DatabaseErrors.h"
#include "SiteFacts.h"

namespace hv {

DatabaseWorker::DatabaseWorker(ServerList servers, DatabaseAccess access, WorkstationIdentity identity)
    : m_store(std::move(servers), access), m_access(std::move(access)),
      m_checkIn(std::move(identity), QStringLiteral(HALVANE_VERSION)) {
    m_store.setHostName(m_checkIn.identity().hostName);
}

LiveAlerts::BatchResult DatabaseWorker::write(Connection& connection, const LiveAlerts::Batch& owed,
                                              const PollSnapshot* confirming) {
    LiveAlerts::BatchResult result;
    QList<ReceiptWrite> receipts;
    for (qsizetype i = 0; i < owed.receipts.size(); ++i) {
        const ReceiptWrite& r = owed.receipts[i];
        bool confirmed = !r.needsConfirmation;
        if (!confirmed && confirming && confirming->statementRan)
            for (const PolledAlert& a : confirming->alerts)
                confirmed = confirmed || a.key == owed.receiptKeys[i];
        if (confirmed)
            receipts << r;
        else
            result.unconfirmed << owed.receiptKeys[i];
    }
    if (!receipts.isEmpty()) {
        result.receipts = DeliveryWrites::writeReceipts(connection, m_checkIn.identity(), receipts, &m_checkIn.doors());
        if (result.receipts == WriteOutcome::Lost) return result;
    }
    for (const CloseWrite& close : owed.closes) {
        result.closes << DeliveryWrites::writeClose(connection, m_checkIn.identity(), close, &m_checkIn.doors());
        if (result.closes.last() == WriteOutcome::Lost) return result;
    }
    for (const AnswerWrite& answer : owed.answers) {
        result.answers << DeliveryWrites::writeAnswer(connection, m_checkIn.identity(), answer);
        if (result.answers.last() == WriteOutcome::Lost) return result;
    }
    if (m_checkIn.due()) m_checkIn.write(connection);
    return result;
}

void DatabaseWorker::poll(bool withTooltip, const AudioState& audio, const WakeState& wake,
                          const LiveAlerts::Batch& owed, const PollAnswers& answers) {
    m_checkIn.setAudioState(audio);
    m_checkIn.setWakeState(wake);
    bool alertsGone = false;
    LiveAlerts::BatchResult written;
    try {
        m_store.run([&](Connection& conn) {
            const PollSnapshot s = m_store.readAlerts(conn);
            m_checkIn.setUnreadable(m_store.unreadable());
            // This node is gone or cut off: the next one answers for it.
            if (s.failure && dberror::nodeLost(*s.failure)) throw *s.failure;
            answers.alerts(s);
            alertsGone = true;
            if (s.failure)
                m_checkIn.pollFailed(*s.failure);
            else if (s.skipped)
                m_checkIn.pollFailed(*s.skipped);
            // A server lost after the alerts leaves the tooltip and the writes for a later poll.
            bool answering = !s.failure && !(s.skipped && dberror::unanswered(*s.skipped));
            if (withTooltip && answering) {
                const TooltipResult t = TrayStore::readTooltip(conn);
                answering = !(t.failure && dberror::unanswered(*t.failure));
                answers.tooltip(t);
            }
            if (answering) written = write(conn, owed, &s);
        });
    } catch (const Failure& f) {
        if (!alertsGone) {
            // Without a connection the poll has nothing to show; a refused login or a server out of
            // reach ends it, anything else only skips it.
            PollSnapshot s;
            const dberror::Cause cause = dberror::causeOf(f);
            if (cause == dberror::Cause::LoginRefused || f.number() == code::CannotOpen) s.failure = f;
            answers.alerts(s);
            if (s.failure) m_checkIn.pollFailed(f);
        }
    }
    answers.written(written);
}

TooltipResult DatabaseWorker::readTooltip(const AudioState& audio, const WakeState& wake) {
    m_checkIn.setAudioState(audio);
    m_checkIn.setWakeState(wake);
    TooltipResult t;
    try {
        m_store.run([&](Connection& conn) {
            t = TrayStore::readTooltip(conn);
            if (t.failure && dberror::nodeLost(*t.failure)) throw *t.failure;
            if (!(t.failure && dberror::unanswered(*t.failure))) write(conn, {});
        });
    } catch (const Failure& f) {
        TooltipResult failed;
        failed.failure.emplace(f);
        failed.answered = !dberror::unanswered(f);
        return failed;
    }
    return t;
}

LiveAlerts::BatchResult DatabaseWorker::writeNow(const LiveAlerts::Batch& owed) {
    LiveAlerts::BatchResult result;
    if (owed.isEmpty() && !m_checkIn.due()) return result;
    ConnectionOptions options;
    options.connectTimeoutSeconds = site::kDeliveryStatementSeconds;
    options.readTimeoutSeconds = site::kDeliveryStatementSeconds * 2;
    options.writeTimeoutSeconds = site::kDeliveryStatementSeconds * 2;
    options.access = m_access;
    try {
        // The first node that answers; what it does not take waits for the next poll.
        m_store.servers().run(options, [&](Connection& connection) { result = write(connection, owed); });
    } catch (const Failure&) {
        // Not reached: what is owed waits for the next poll.
    }
    return result;
}

} // namespace hv
