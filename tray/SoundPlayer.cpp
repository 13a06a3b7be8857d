#include "SoundPlayer.h"

namespace hv {
SoundPlayer::~SoundPlayer() = default;
} // namespace hv
