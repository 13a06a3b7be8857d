#pragma once

#include "CapAlert.h"
#include "LoggedAlert.h"

#include <QString>

namespace hv {

// A logged alert as the CAP 1.2 alert message it was: the code is the event (and the headline
// that signage shows), the location the area, the custom message the description and the code's
// standing comments the instruction.
class CapExport {
public:
    // Unique on one site and the same in every export: the log row's number with the minute it
    // was sent, so that a log that was emptied and numbered afresh still gives new identifiers.
    static QString identifierFor(const LoggedAlert& row);

    // Why the row cannot become a CAP alert (CAP requires what it lacks), or the empty text.
    static QString whyNot(const LoggedAlert& row);

    // sender names the site (from halvane.ini); the row's date and time are the console's local
    // time, sent with the offset from UTC that this computer's zone had at that moment.
    static CapAlert alertFor(const LoggedAlert& row, const QString& sender);
};

} // namespace hv
