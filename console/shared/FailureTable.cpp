#include "shared/FailureTable.h"

#include "DatabaseErrors.h"
#include "Failure.h"
#include "shared/ConsoleTexts.h"

namespace hv {

namespace {

using Box = FailureTable::Box;
using Cause = FailureTable::Cause;
using Op = FailureTable::Operation;
using Outcome = FailureTable::Outcome;
using Response = FailureTable::Response;

const Box kWrongPassword{text::kWrongPasswordTitle, text::kWrongPasswordText};
const Box kConnectError{text::kConnectErrorTitle, text::kConnectErrorText};
const Box kIniFormat{text::kDatabaseErrorTitle, text::kIniFormatText};

Response endWith(QList<Box> boxes) {
    return {std::move(boxes), Outcome::EndProgram};
}
Response next() {
    return {{}, Outcome::NextStep};
}
Response stop(QList<Box> boxes = {}) {
    return {std::move(boxes), Outcome::Stop};
}

// The editors and the tooltip edit say what did not happen, why, and whom to ask.
Box told(const QString& title, const QString& what, const Failure& f) {
    return {title, what + u' ' + FailureTable::reasonFor(f) + text::kContactAdministrator};
}

// A database made before alerts could be cancelled has no table to record them in.
QString cancelReason(const Failure& f) {
    if (dberror::noSuchTable(f)) return text::kReasonNoCancellations;
    return FailureTable::reasonFor(f);
}

} // namespace

QString FailureTable::reasonFor(const Failure& f) {
    switch (dberror::causeOf(f)) {
    case Cause::CannotOpen:
    case Cause::WaitRanOut:
        return text::kReasonLost;
    case Cause::LoginRefused:
        return text::kReasonLoginRefused;
    case Cause::PermissionDenied:
        return text::kReasonDenied;
    case Cause::NoCurrentRow:
        return text::kReasonNoRow;
    default:
        return text::kReasonRefused.arg(f.number());
    }
}

FailureTable::Response FailureTable::responseTo(Operation op, const Failure& f, const QString& subject) {
    const Cause cause = dberror::causeOf(f);
    switch (op) {
    case Op::StartUp:
        switch (cause) {
        case Cause::LoginRefused:
            return endWith({kWrongPassword});
        case Cause::CannotOpen:
        case Cause::WaitRanOut:
            return endWith({kConnectError, kIniFormat});
        case Cause::FileNotFound:
            return endWith({{text::kIniMissingTitle, text::kIniMissingText}});
        case Cause::InputPastEnd:
            return endWith({{text::kIniEmptyTitle, text::kIniEmptyText}});
        case Cause::NoCurrentRow:
            return next();
        default:
            return stop();
        }
    case Op::Purge:
        // Housekeeping: only a fatal failure stops the submission. A lock held by another console
        // or a deadlock between two purges must never keep an alert from being sent.
        switch (cause) {
        case Cause::LoginRefused:
            return endWith({kWrongPassword});
        case Cause::CannotOpen:
            return endWith({{text::kFileNotFoundTitle, text::kFileNotFoundText + u'.'}});
        case Cause::PermissionDenied:
            return endWith({kConnectError});
        default:
            return next();
        }
    case Op::Submission:
        switch (cause) {
        case Cause::LoginRefused:
            return endWith({kWrongPassword});
        case Cause::CannotOpen:
        case Cause::WaitRanOut:
            return endWith({{text::kFileNotFoundTitle, text::kFileNotFoundText + u'.'}});
        case Cause::PermissionDenied:
            return endWith({kConnectError});
        default:
            // Both rows are written together: nothing was stored, and the user is told so.
            return stop({{text::kNotSavedTitle, text::kNotSavedText}});
        }
    case Op::Login:
        switch (cause) {
        case Cause::LoginRefused:
            return endWith({kWrongPassword});
        case Cause::CannotOpen:
        case Cause::WaitRanOut:
            return endWith({{text::kFileNotFoundTitle, text::kFileNotFoundText}});
        case Cause::NoCurrentRow:
            return next();
        default:
            return stop();
        }
    case Op::LocationsEditorLoad:
        switch (cause) {
        case Cause::LoginRefused:
            return endWith({kWrongPassword});
        case Cause::CannotOpen:
        case Cause::WaitRanOut:
            return endWith({{text::kNotFoundTitle, text::kNotFoundText}});
        case Cause::NoCurrentRow:
            return next();
        default:
            // The window opens with what was filled so far.
            return stop();
        }
    case Op::EditorLoad:
        return stop({told(
            text::kDatabaseErrorTitle,
            QStringLiteral("The %1 could not be read from the database, so the window will not open.").arg(subject),
            f)});
    case Op::EditorReload:
        return stop({told(text::kDatabaseErrorTitle,
                          QStringLiteral("The %1 could not be read again from the database.").arg(subject), f)});
    case Op::EditorAdd:
        // The typed values stay and the window stays in add mode, so the user can try again.
        return stop({told(text::kUpdateFailedTitle, QStringLiteral("The new record has not been added."), f)});
    case Op::EditorSave:
        return stop({told(text::kUpdateFailedTitle, text::kChangesNotSaved, f)});
    case Op::EditorDelete:
        return stop({told(text::kDeleteFailedTitle, QStringLiteral("The record has not been deleted."), f)});
    case Op::ToolTipSave:
        return stop({{text::kToolTipNotSavedTitle,
                      QStringLiteral("Nothing has been saved. ") + reasonFor(f) + text::kContactAdministrator}});
    case Op::ReadAloudSave:
        // 1146: a database from before the setting's table; the box says how to add it.
        return stop({{text::kReadAloudNotSavedTitle,
                      QStringLiteral("Nothing has been saved. ") +
                          (dberror::noSuchTable(f) ? text::kReasonNoSettingsTable : reasonFor(f)) +
                          text::kContactAdministrator}});
    case Op::Report:
        // Any other failure ends the report without a word.
        if (cause == Cause::PrinterError) return stop({{text::kPrinterErrorTitle, text::kPrinterErrorText}});
        return stop();
    case Op::Print:
        // The viewer stays open and usable; the user may try again.
        return stop({{text::kPrinterErrorTitle, text::kPrinterErrorText}});
    case Op::DeliveryRead:
        // A box every few seconds would bury the console: the window says why in its status line
        // and tries again at its next refresh. A refused login ends the console as everywhere.
        if (cause == Cause::LoginRefused) return endWith({kWrongPassword});
        return stop();
    // Taking an alert back never ends the program: the operator must be able to try again or send
    // another alert at once.
    case Op::CancelListLoad:
        return stop({{text::kDatabaseErrorTitle, QStringLiteral("The alerts could not be read from the database. ") +
                                                     cancelReason(f) + text::kContactAdministrator}});
    case Op::CancelSave:
        return stop({{text::kNotCancelledTitle,
                      text::kNotCancelledText + u' ' + cancelReason(f) + text::kContactAdministrator}});
    // Audiences are an addition: a database or account without them never ends the console.
    case Op::AudiencesLoad:
        return stop(
            {{text::kDatabaseErrorTitle, QStringLiteral("The audiences could not be read from the database. ") +
                                             (dberror::noSuchTable(f) ? text::kReasonNoAudiences : reasonFor(f)) +
                                             text::kContactAdministrator}});
    case Op::AudiencesSave:
        return stop(
            {{text::kAudiencesNotSavedTitle, QStringLiteral("Nothing has been saved. ") +
                                                 (dberror::noSuchTable(f) ? text::kReasonNoAudiences : reasonFor(f)) +
                                                 text::kContactAdministrator}});
    // So are presentations: without them every alert is shown in the balloon, as before.
    case Op::PresentationsLoad:
        return stop(
            {{text::kDatabaseErrorTitle, QStringLiteral("The presentations could not be read from the database. ") +
                                             (dberror::notHere(f) ? text::kReasonNoPresentations : reasonFor(f)) +
                                             text::kContactAdministrator}});
    case Op::PresentationsSave:
        return stop(
            {{text::kPresentationNotSavedTitle,
              QStringLiteral("Nothing has been saved. ") +
                  (dberror::notHere(f) ? text::kReasonNoPresentations : reasonFor(f)) + text::kContactAdministrator}});
    }
    return stop();
}

void FailureTable::showBoxes(const Response& response, MessagePort& msg) {
    for (const Box& box : response.boxes)
        msg.show(box.title, box.text, Buttons::Ok, box.icon);
}

Reaction FailureTable::apply(const Response& response, MessagePort& msg, ExitPort& exit) {
    showBoxes(response, msg);
    if (response.outcome == Outcome::EndProgram) exit.endProgram();
    return response.outcome == Outcome::NextStep ? Reaction::NextStep : Reaction::EndHandler;
}

FailurePolicy FailureTable::policyFor(Operation op, MessagePort& msg, ExitPort& exit, const QString& subject) {
    return [op, &msg, &exit, subject](const Failure& f) { return apply(responseTo(op, f, subject), msg, exit); };
}

} // namespace hv
