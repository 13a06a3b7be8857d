#pragma once

#include "CapAlert.h"

#include <QString>

namespace hv {

// What a CAP alert message asks of this system, and what this system refuses of it (as CapError).
class CapIntake {
public:
    enum class Action {
        Submit, // Alert and Update: a new alert on every workstation
        Cancel, // the alerts named in <references> are to be withdrawn
    };

    // Only Actual alerts go out unless exercises are allowed; Ack and Error ask nothing of the
    // workstations. To submit, the message needs its event (the code) and an area (the location).
    static Action actionFor(const CapAlert& alert, bool exercise);

    // The custom message: the headline, the description and the instruction, one to a line. The
    // popup already shows the code and the code's standing comments, so a headline that only
    // repeats the event, or an instruction that only repeats the comments, is not said twice.
    static QString message(const CapAlert& alert, const QString& standingComments);
};

} // namespace hv
