#pragma once

#include "ring/Mixer.h"

#include <QByteArray>

typedef struct _snd_mixer snd_mixer_t;
typedef struct _snd_mixer_elem snd_mixer_elem_t;

namespace hv {

// ALSA's simple mixer on a device (the desktop's `default`, which PulseAudio or PipeWire serve
// with a 0–65536 range), element `Master`. A missing element is not a missing mixer: the output
// then simply has no volume and no mute switch.
class AlsaMixer : public Mixer {
public:
    explicit AlsaMixer(QByteArray device = "default", QByteArray element = "Master");
    ~AlsaMixer() override;

    bool open() override;
    void close() override;
    bool volumeRange(long* min, long* max) override;
    std::vector<long> volumes() override;
    bool setVolumes(const std::vector<long>& values) override;
    std::vector<bool> mutes() override;
    bool setMutes(const std::vector<bool>& values) override;

private:
    // The element after taking in whatever changed outside the program since the last look.
    snd_mixer_elem_t* element();

    QByteArray m_device;
    QByteArray m_element;
    snd_mixer_t* m_handle = nullptr;
};

} // namespace hv
