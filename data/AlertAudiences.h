#pragma once

#include "SavedAlert.h"

#include <optional>

namespace hv {

class Connection;

// Who a submitted alert reaches, decided inside the submission's transaction from what the
// operator chose: a code set to reach only its location's audience, at a location that names one,
// reaches that audience; everything else reaches everyone, and so does every alert on a database
// from before audiences or one whose tables the account may not use (more workstations told,
// never fewer). An audience without members also reaches everyone.
class AlertAudiences {
public:
    // The audience of an alert of this code at this location, as it stands now.
    std::optional<AlertAudience> resolve(Connection& connection, const QString& codeName, const QString& codeLocation);
    // Keeps the alert's audience with it (nothing for an alert for everyone). The poll goes by the
    // patterns alone: an alert with none reaches everyone. Where the tables refuse the rows, the
    // alert's audience is unset, for it then reaches everyone.
    void write(Connection& connection, SavedAlert& alert);
    // The audience an alert was sent to, as written with it.
    std::optional<AlertAudience> read(Connection& connection, const SavedAlert& alert);

private:
    // Set once a statement found the tables missing or forbidden: the rest of the submission
    // goes to everyone without asking again.
    bool m_unavailable = false;
};

} // namespace hv
