#include "platform/posix/AlsaMixer.h"

#include "platform/posix/AlsaSetup.h"

#include <alsa/asoundlib.h>

namespace hv {

namespace {

std::vector<snd_mixer_selem_channel_id_t> playbackChannels(snd_mixer_elem_t* e) {
    std::vector<snd_mixer_selem_channel_id_t> channels;
    if (snd_mixer_selem_is_playback_mono(e)) {
        channels.push_back(SND_MIXER_SCHN_MONO);
        return channels;
    }
    for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (snd_mixer_selem_has_playback_channel(e, ch)) channels.push_back(ch);
    }
    return channels;
}

} // namespace

AlsaMixer::AlsaMixer(QByteArray device, QByteArray element)
    : m_device(std::move(device)), m_element(std::move(element)) {}

AlsaMixer::~AlsaMixer() {
    close();
}

bool AlsaMixer::open() {
    close();
    AlsaSetup::quietErrors();
    snd_mixer_t* h = nullptr;
    if (snd_mixer_open(&h, 0) < 0) return false;
    if (snd_mixer_attach(h, m_device.constData()) < 0 || snd_mixer_selem_register(h, nullptr, nullptr) < 0 ||
        snd_mixer_load(h) < 0) {
        snd_mixer_close(h);
        return false;
    }
    m_handle = h;
    return true;
}

void AlsaMixer::close() {
    if (m_handle) {
        snd_mixer_close(m_handle);
        m_handle = nullptr;
    }
}

snd_mixer_elem_t* AlsaMixer::element() {
    if (!m_handle) return nullptr;
    // A handle held open for hours otherwise keeps reporting the values it loaded.
    snd_mixer_handle_events(m_handle);
    snd_mixer_selem_id_t* id = nullptr;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_index(id, 0);
    snd_mixer_selem_id_set_name(id, m_element.constData());
    return snd_mixer_find_selem(m_handle, id);
}

bool AlsaMixer::volumeRange(long* min, long* max) {
    snd_mixer_elem_t* e = element();
    if (!e || !snd_mixer_selem_has_playback_volume(e)) return false;
    return snd_mixer_selem_get_playback_volume_range(e, min, max) == 0;
}

std::vector<long> AlsaMixer::volumes() {
    snd_mixer_elem_t* e = element();
    if (!e || !snd_mixer_selem_has_playback_volume(e)) return {};
    std::vector<long> values;
    for (snd_mixer_selem_channel_id_t ch : playbackChannels(e)) {
        long v = 0;
        if (snd_mixer_selem_get_playback_volume(e, ch, &v) < 0) return {};
        values.push_back(v);
    }
    return values;
}

bool AlsaMixer::setVolumes(const std::vector<long>& values) {
    snd_mixer_elem_t* e = element();
    if (!e || !snd_mixer_selem_has_playback_volume(e) || values.empty()) return false;
    if (values.size() == 1) return snd_mixer_selem_set_playback_volume_all(e, values.front()) == 0;
    const auto channels = playbackChannels(e);
    bool ok = true;
    for (size_t i = 0; i < channels.size() && i < values.size(); ++i)
        ok = snd_mixer_selem_set_playback_volume(e, channels[i], values[i]) == 0 && ok;
    return ok;
}

std::vector<bool> AlsaMixer::mutes() {
    snd_mixer_elem_t* e = element();
    if (!e || !snd_mixer_selem_has_playback_switch(e)) return {};
    std::vector<bool> values;
    for (snd_mixer_selem_channel_id_t ch : playbackChannels(e)) {
        int on = 1;
        if (snd_mixer_selem_get_playback_switch(e, ch, &on) < 0) return {};
        values.push_back(on == 0);
    }
    return values;
}

bool AlsaMixer::setMutes(const std::vector<bool>& values) {
    snd_mixer_elem_t* e = element();
    if (!e || !snd_mixer_selem_has_playback_switch(e) || values.empty()) return false;
    if (values.size() == 1) return snd_mixer_selem_set_playback_switch_all(e, values.front() ? 0 : 1) == 0;
    const auto channels = playbackChannels(e);
    bool ok = true;
    for (size_t i = 0; i < channels.size() && i < values.size(); ++i)
        ok = snd_mixer_selem_set_playback_switch(e, channels[i], values[i] ? 0 : 1) == 0 && ok;
    return ok;
}

} // namespace hv
