#include "Ports.h"

#include <cstdio>
#include <cstdlib>

namespace hv {

MessagePort::~MessagePort() = default;
ExitPort::~ExitPort() = default;
Clock::~Clock() = default;

void ProcessExit::endProgram() {
    std::fflush(nullptr);
    std::_Exit(1);
}

} // namespace hv
