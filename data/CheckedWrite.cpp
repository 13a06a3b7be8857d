#include "CheckedWrite.h"

#include <QThread>
#include <optional>

namespace hv {

namespace {

// A read on a node that has not yet applied what the cluster committed could miss a change that
// did land. Servers without Galera do not know the setting; they have nothing to wait for.
void waitForTheCluster(Connection& connection) {
    try {
        connection.execute(QStringLiteral("SET SESSION wsrep_sync_wait = 1"));
    } catch (const Failure& f) {
        if (dberror::nodeLost(f)) throw;
    }
}

} // namespace

void CheckedWrite::run(const ServerList& servers, const ConnectionOptions& options, int attempts) const {
    m_begun = 0;
    std::optional<Failure> refused;
    // Set from a COMMIT until the change has been looked for; it outlives an attempt that ended in
    // a lost answer, so that the next one looks before it writes.
    bool inDoubt = false;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        bool seen = false;
        try {
            servers.run(options, [&](Connection& connection) {
                if (inDoubt) {
                    waitForTheCluster(connection);
                    if (landed(connection)) {
                        seen = true;
                        inDoubt = false;
                        return;
                    }
                    inDoubt = false;
                }
                ++m_begun;
                connection.begin();
                try {
                    write(connection);
                } catch (...) {
                    connection.rollback();
                    throw;
                }
                // Until the change has been seen or missed, a lost node leaves it in doubt.
                inDoubt = true;
                connection.commit();
                seen = landed(connection);
                inDoubt = false;
            });
        } catch (const Failure& f) {
            if (inDoubt) {
                // The answer to the COMMIT was lost and no node was left to look on: the same server,
                // once it answers again, says whether the change is there.
                refused = f;
                QThread::msleep(kInDoubtPauseMs);
                continue;
            }
            if (f.nativeCode() != kConflict) throw;
            refused = f;
            continue;
        }
        if (seen) return;
        refused = Failure(kConflict, QStringLiteral("The change was not stored: the database cluster refused it."),
                          kConflict);
    }
    if (inDoubt) throw Failure(code::CannotOpen, refused->description(), dberror::kOutcomeUnknown);
    throw *refused;
}

} // namespace hv
