#include "platform/Platform.h"

namespace hv {

// Built where Qt brings no text-to-speech module: alerts are then never read aloud.
std::unique_ptr<SpeechPort> makeDesktopVoice() {
    return nullptr;
}

} // namespace hv
