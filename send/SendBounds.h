#pragma once

#include "Connection.h"

namespace hv {

// How long halvane-send waits for the database server: a script or a gateway that calls it must
// get an answer, never a hang.
inline ConnectionOptions sendConnectionOptions() {
    ConnectionOptions options;
    options.readTimeoutSeconds = 30;
    return options;
}

} // namespace hv
