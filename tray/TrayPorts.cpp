#include "TrayPorts.h"

namespace hv {
PopupPort::~PopupPort() = default;
RingPort::~RingPort() = default;
} // namespace hv
