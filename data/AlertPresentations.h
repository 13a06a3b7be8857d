#pragma once

#include "AlertPresentation.h"
#include "SavedAlert.h"

#include <QSqlRecord>
#include <optional>

namespace hv {

class Connection;

// Each code's presentation, and each alert's as it stood when it was sent (written in the
// submission's transaction, so that a later change to the code changes no alert already sent).
// A code without one, a database from before presentations and an account not given them all
// present the alert in the balloon with one ring, as before.
class AlertPresentations {
public:
    // The code's presentation as it stands now; unset for the balloon and one ring.
    std::optional<AlertPresentation> resolve(Connection& connection, const QString& codeName);
    // Keeps the alert's presentation with it (nothing for the default). Where the table refuses
    // the row, the alert's presentation is unset: the workstations then show it in the balloon.
    void write(Connection& connection, SavedAlert& alert);
    // The presentation an alert was sent with, as written with it.
    std::optional<AlertPresentation> read(Connection& connection, const SavedAlert& alert);

    // The presentations of the alerts that can be current, for the tray client's poll: AlertID,
    // CodeDate, CodeTime, then the columns fromRow() reads from position 3 on.
    static QString liveStatement();
    // A row of the table from the given column on: Presentation, RingMode, Answer1 to Answer4,
    // HelpAnswer.
    static AlertPresentation fromRow(const QSqlRecord& row, int first);
    // The same columns as values to bind, in that order.
    static QVariantList values(const AlertPresentation& p);
    static QString columns();

private:
    bool m_unavailable = false;
};

} // namespace hv
