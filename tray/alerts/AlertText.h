#pragma once

#include "PollSnapshot.h"

#include <QString>

namespace hv {

// How a current alert reads on the workstation.
namespace alertText {

// Its block in the popup: time and code, location, the standing comments when there are any, the
// operator's message; every line ends in CR LF and NULL reads as empty. An alert whose values
// could not be read has an empty block.
QString block(const PolledAlert& alert);
// What it says when read aloud: its code, its location and the operator's message.
QString spoken(const PolledAlert& alert);

} // namespace alertText
} // namespace hv
