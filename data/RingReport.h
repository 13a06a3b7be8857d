#pragma once

#include <QString>
#include <optional>

namespace hv {

// How one ring went, as the workstation's receipt for the alert tells it: whether the sound
// played, and what was done to the volume and the mute for it. Empty values could not be read.
struct RingReport {
    enum class Result { NotRung, Played, NoDevice, Failed };
    Result result = Result::NotRung;
    QString reason; // why it failed, in the audio system's words
    std::optional<long> volumeBefore, volumeDuring, volumeAfter;
    // Whether the output was muted (and so the mute was lifted for the ring), and whether it was
    // muted again after it; unknown when the mute switch could not be read.
    std::optional<bool> muteLifted, muteRestored;
};

} // namespace hv
