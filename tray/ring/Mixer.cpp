#include "ring/Mixer.h"

namespace hv {
Mixer::~Mixer() = default;
} // namespace hv
