#include "TrayFailures.h"

namespace hv {

namespace {

constexpr qint64 Any = 0;

struct Row {
    TrayOperation op;
    qint64 number; // Any matches every number not listed before it
    TrayOutcome outcome;
    const TrayBox* box;
};

// Read from top to bottom; the first row that matches decides.
const Row kTable[] = {
    // A missing file ends the program; any other fault leaves the host empty, and the polls keep
    // trying, so that fixing the file and the server needs no visit to every desk.
    {TrayOperation::ReadIni, code::FileNotFound, TrayOutcome::EndProgram, &trayText::IniMissing},
    {TrayOperation::ReadIni, Any, TrayOutcome::NextStep, nullptr},

    // A server that cannot be reached at start must not keep this workstation deaf for good: the
    // start goes on, the timer runs, and the tooltip is read by a later poll.
    {TrayOperation::StartUp, code::LoginRefused, TrayOutcome::EndProgram, &trayText::WrongPassword},
    {TrayOperation::StartUp, code::InvalidPicture, TrayOutcome::EndProgram, &trayText::Reinstall},
    {TrayOperation::StartUp, Any, TrayOutcome::NextStep, nullptr},

    {TrayOperation::Poll, code::LoginRefused, TrayOutcome::EndProgram, &trayText::WrongPassword},
    {TrayOperation::Poll, code::CannotOpen, TrayOutcome::EndOperation, nullptr},
    {TrayOperation::Poll, Any, TrayOutcome::NextStep, nullptr},

    {TrayOperation::TestSound, Any, TrayOutcome::EndOperation, nullptr},
};

} // namespace

TrayFailureRule TrayFailures::rule(TrayOperation op, qint64 number) {
    for (const Row& row : kTable) {
        if (row.op != op || (row.number != Any && row.number != number)) continue;
        TrayFailureRule r;
        r.outcome = row.outcome;
        if (row.box) r.box = *row.box;
        return r;
    }
    return {};
}

Reaction TrayFailures::reaction(const TrayFailureRule& rule) {
    return rule.outcome == TrayOutcome::NextStep ? Reaction::NextStep : Reaction::EndHandler;
}

} // namespace hv
