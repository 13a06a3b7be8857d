#pragma once

namespace hv {

// What a workstation's check-in says of its audio.
struct AudioState {
    bool soundDevice = false; // a mixer was found
    bool volumeReadable = false;
    bool muteReadable = false;
    bool operator==(const AudioState&) const = default;
};

} // namespace hv
