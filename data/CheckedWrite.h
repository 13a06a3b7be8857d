#pragma once

#include "DatabaseErrors.h"
#include "ServerList.h"

#include <functional>

namespace hv {

// A change that must be known to have landed before the user is told it has: one transaction on
// one node, looked for again after its commit.
//
// On a Galera cluster another node's transaction may win over this one: the loser learns it with
// error 1213 on a later statement, and a COMMIT after that can still answer success although
// nothing was stored. The node may also go under it. So the whole transaction runs again, a few
// times at most, until its rows are seen; and a commit whose answer never came is first looked for
// on the next node (after that node has applied everything the cluster had committed), or on the
// same server once it answers again, so that a change that did land is not made twice and one that
// did not is not reported as made.
class CheckedWrite {
public:
    // Runs inside the transaction; it may read, decide and write.
    std::function<void(Connection&)> write;
    // After the commit, on the same node or on another: true when what write stored is there (or
    // when write decided to store nothing).
    std::function<bool(Connection&)> landed;

    static constexpr int kAttempts = 4;
    // Between the looks for a change whose commit went unanswered, for a server that restarts.
    static constexpr int kInDoubtPauseMs = 500;
    // Galera's own number for a transaction that lost to another node's.
    static constexpr int kConflict = dberror::kConflict;

    // Leaves with the failure of the last attempt, a kConflict failure when the change was never
    // seen after its commit, or a "cannot reach" failure that dberror::outcomeUnknown() tells apart
    // when its commit went out unanswered and the change could not be looked for since: it may or
    // may not have landed.
    void run(const ServerList& servers, const ConnectionOptions& options, int attempts = kAttempts) const;

    // How many transactions the last run() began (tests and measurements).
    int transactionsBegun() const { return m_begun; }

private:
    mutable int m_begun = 0;
};

} // namespace hv
