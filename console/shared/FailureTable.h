#pragma once

#include "DatabaseErrors.h"
#include "Handler.h"
#include "Ports.h"

#include <QList>
#include <QString>

namespace hv {

class Failure;

// What the console does when a database, file or printer failure meets one of its operations:
// which boxes it shows, and whether it then ends the program, goes on with the next step or stops
// the operation. Every window takes its reactions from here.
class FailureTable {
public:
    enum class Operation {
        StartUp,             // the main window's load: halvane.ini and both lists
        Purge,               // the purge of old live alerts before every submission
        Submission,          // the look-up and both rows of a submission
        Login,               // the login's look-up of the users
        LocationsEditorLoad, // the locations editor opening
        EditorLoad,          // the users and codes editors opening
        EditorReload,        // an editor reading its rows again after a save or a delete
        EditorAdd,
        EditorSave,
        EditorDelete,
        ToolTipSave,
        ReadAloudSave, // the workstations' read-aloud setting
        Report,
        Print,
        DeliveryRead,      // the delivery and workstations windows reading by themselves every few seconds
        CancelListLoad,    // the list of alerts that can still be cancelled
        CancelSave,        // the record of a cancellation
        AudiencesLoad,     // the audiences window opening or reading again after a change
        AudiencesSave,     // a change to an audience, a code's reach or a location's audience
        PresentationsLoad, // the presentations window opening or reading again after a save
        PresentationsSave, // a code's presentation
    };

    // How the table tells failures apart: the one classification every program uses.
    using Cause = dberror::Cause;

    enum class Outcome { EndProgram, NextStep, Stop };

    struct Box {
        QString title;
        QString text;
        Icon icon = Icon::Critical;
        bool operator==(const Box&) const = default;
    };

    struct Response {
        QList<Box> boxes;
        Outcome outcome = Outcome::Stop;
    };

    // subject names the rows of an editor in its messages ("users", "codes", "locations").
    static Response responseTo(Operation operation, const Failure& failure, const QString& subject = {});

    // The sentence that tells a user why the database did not do what was asked.
    static QString reasonFor(const Failure& failure);

    // Shows the response's boxes, each with an OK button.
    static void showBoxes(const Response& response, MessagePort& msg);
    // Shows the response's boxes and ends the program when it says so; otherwise the answer for a
    // Handler step.
    static Reaction apply(const Response& response, MessagePort& msg, ExitPort& exit);

    // The failure policy of one operation for a Handler.
    static FailurePolicy policyFor(Operation operation, MessagePort& msg, ExitPort& exit, const QString& subject = {});
};

} // namespace hv
