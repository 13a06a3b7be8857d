#include "ring/clsVolume.h"

#include "Ports.h"
#include "TrayTexts.h"

#include <algorithm>

namespace hv {

clsVolume::clsVolume(Mixer& mixer, MessagePort& msg, const QString& programName) : m_mixer(mixer) {
    m_open = m_mixer.open();
    if (!m_open) {
        msg.show(programName, trayText::NoMixer.text, trayText::NoMixer.buttons, trayText::NoMixer.icon);
        return;
    }
    loadRange();
}

clsVolume::~clsVolume() {
    if (m_open) m_mixer.close();
}

void clsVolume::loadRange() {
    long min = 0, max = 0;
    m_hasVolume = m_mixer.volumeRange(&min, &max) && min <= max;
    m_min = m_hasVolume ? min : 0;
    m_max = m_hasVolume ? max : 0;
}

bool clsVolume::retryOpen() {
    if (!m_open && m_mixer.open()) {
        m_open = true;
        loadRange();
    }
    return m_open;
}

long clsVolume::WaveVolume() const {
    const std::vector<long> v = channelVolumes();
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

void clsVolume::setWaveVolume(long value) {
    if (!m_open || !m_hasVolume) return;
    m_mixer.setVolumes({std::clamp(value, m_min, m_max)});
}

long clsVolume::WaveMute() const {
    const std::vector<bool> m = channelMutes();
    return std::find(m.begin(), m.end(), true) != m.end() ? -1 : 0;
}

void clsVolume::setWaveMute(long value) {
    if (m_open) m_mixer.setMutes({value != 0});
}

std::vector<long> clsVolume::channelVolumes() const {
    if (!m_open || !m_hasVolume) return {};
    return m_mixer.volumes();
}

void clsVolume::restoreChannelVolumes(const std::vector<long>& values) {
    if (!m_open || !m_hasVolume || values.empty()) return;
    std::vector<long> clamped = values;
    for (long& v : clamped)
        v = std::clamp(v, m_min, m_max);
    m_mixer.setVolumes(clamped);
}

std::vector<bool> clsVolume::channelMutes() const {
    if (!m_open) return {};
    return m_mixer.mutes();
}

void clsVolume::restoreChannelMutes(const std::vector<bool>& values) {
    if (m_open && !values.empty()) m_mixer.setMutes(values);
}

} // namespace hv
