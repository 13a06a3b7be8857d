#include "TrayPorts.h"

namespace hv {
PopupPort::~PopupPort() = default;
RingPort::~RingPort() = default;
SpeechPort::~SpeechPort() = default;
} // namespace hv
