#include "ring/SoundPlayer.h"

namespace hv {
SoundPlayer::~SoundPlayer() = default;
} // namespace hv
