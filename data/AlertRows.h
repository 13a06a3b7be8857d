#pragma once

#include "SavedAlert.h"

#include <QList>

namespace hv {

class Connection;

// Rows of a newer table that belong to alerts being stored and must land with them or not at all
// (who an alert reaches, where it came from, the token of a submission that may be retried). The
// submission runs them inside its own transaction, after the alerts and AlertLog rows, and looks
// for them again after the commit as it looks for its own rows (see CheckedWrite): so each may run
// more than once, on another node, and must start afresh every time.
class AlertRows {
public:
    virtual ~AlertRows() = default;

    // Inside the transaction; the alerts are written, in the order they were given. A failure
    // (a duplicate key that says the work was done already, say) rolls everything back.
    virtual void write(Connection& connection, const QList<SavedAlert>& alerts) = 0;
    // After the commit, on the same node or another: whether what write() stored is there.
    virtual bool landed(Connection& connection, const QList<SavedAlert>& alerts) = 0;
};

} // namespace hv
