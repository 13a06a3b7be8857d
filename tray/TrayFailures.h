#pragma once

#include "Failure.h"
#include "Handler.h"
#include "TrayTexts.h"

#include <optional>

namespace hv {

// The tray client's operations that have failure handling of their own.
enum class TrayOperation {
    ReadIni,   // halvane.ini at start
    StartUp,   // Form1's load: icon pictures, volume object, tooltip
    Poll,      // one tick of Timer1: connection, statement, blocks, tooltip, popup, ring
    TestSound, // the menu item
};

enum class TrayOutcome {
    EndProgram,   // the icon goes, the box is shown, the program ends at once
    EndOperation, // the operation ends quietly
    NextStep,     // the failing step is skipped and the operation goes on
};

struct TrayFailureRule {
    TrayOutcome outcome = TrayOutcome::NextStep;
    std::optional<TrayBox> box; // shown before the program ends
};

// The tray client's one failure table: for each operation, which failure numbers end the program
// with which box, which end the operation, and which only skip their step.
class TrayFailures {
public:
    static TrayFailureRule rule(TrayOperation op, qint64 number);
    // How a step runner goes on: away from the window (where no box may be shown) an end of the
    // program ends the operation, and the window side then applies the rule.
    static Reaction reaction(const TrayFailureRule& rule);
    static Reaction reaction(TrayOperation op, const Failure& f) { return reaction(rule(op, f.number())); }
};

} // namespace hv
