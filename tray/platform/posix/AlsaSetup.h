#pragma once

namespace hv {

// Process-wide ALSA settings the tray client relies on.
class AlsaSetup {
public:
    // ALSA writes its own complaints to stderr; the tray client reports through its ports only.
    static void quietErrors();
    // ALSA decides once, when it first reads its configuration, whether `default` is the audio
    // server; an audio server that starts after the program is only found after a fresh read.
    static void rereadConfiguration();
};

} // namespace hv
