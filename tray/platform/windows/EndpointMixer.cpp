#include "platform/windows/EndpointMixer.h"

#include <algorithm>
#include <cmath>

#include <windows.h>
// after windows.h, which they need
#include <endpointvolume.h>
#include <mmdeviceapi.h>

namespace hv {

EndpointMixer::EndpointMixer() = default;

EndpointMixer::EndpointMixer(IAudioEndpointVolume* endpoint) : m_given(endpoint) {
    if (m_given) m_given->AddRef();
}

EndpointMixer::~EndpointMixer() {
    close();
    if (m_given) m_given->Release();
}

long EndpointMixer::toScale(float level) {
    return std::clamp(std::lround(double(level) * ScaleMax), 0L, ScaleMax);
}

float EndpointMixer::toLevel(long value) {
    return float(std::clamp(value, 0L, ScaleMax)) / float(ScaleMax);
}

bool EndpointMixer::open() {
    if (m_endpoint) return true;
    if (m_given) {
        m_endpoint = m_given;
        m_endpoint->AddRef();
        return true;
    }
    // The thread may already be in an apartment (the window thread is, through Qt); either kind
    // reaches the endpoint, so only a start of our own is undone on close.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(init)) {
        m_comStarted = true;
        m_comThread = GetCurrentThreadId();
    }
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* speakers = nullptr;
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(&devices));
    if (SUCCEEDED(hr)) hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, &speakers);
    if (SUCCEEDED(hr))
        hr = speakers->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(&m_endpoint));
    if (speakers) speakers->Release();
    if (devices) devices->Release();
    if (FAILED(hr) || !m_endpoint) {
        m_endpoint = nullptr;
        close();
        return false;
    }
    return true;
}

void EndpointMixer::close() {
    if (m_endpoint) {
        m_endpoint->Release();
        m_endpoint = nullptr;
    }
    if (m_comStarted && m_comThread == GetCurrentThreadId()) CoUninitialize();
    m_comStarted = false;
}

bool EndpointMixer::volumeRange(long* min, long* max) {
    if (!m_endpoint) return false;
    *min = 0;
    *max = ScaleMax;
    return true;
}

std::vector<long> EndpointMixer::volumes() {
    if (!m_endpoint) return {};
    UINT channels = 0;
    if (SUCCEEDED(m_endpoint->GetChannelCount(&channels)) && channels > 0) {
        std::vector<long> out;
        for (UINT c = 0; c < channels; ++c) {
            float level = 0;
            if (FAILED(m_endpoint->GetChannelVolumeLevelScalar(c, &level))) {
                out.clear();
                break;
            }
            out.push_back(toScale(level));
        }
        if (!out.empty()) return out;
    }
    float master = 0;
    if (FAILED(m_endpoint->GetMasterVolumeLevelScalar(&master))) return {};
    return {toScale(master)};
}

bool EndpointMixer::setVolumes(const std::vector<long>& values) {
    if (!m_endpoint || values.empty()) return false;
    if (values.size() == 1) return SUCCEEDED(m_endpoint->SetMasterVolumeLevelScalar(toLevel(values[0]), nullptr));
    bool ok = true;
    for (size_t c = 0; c < values.size(); ++c)
        ok = SUCCEEDED(m_endpoint->SetChannelVolumeLevelScalar(UINT(c), toLevel(values[c]), nullptr)) && ok;
    return ok;
}

std::vector<bool> EndpointMixer::mutes() {
    if (!m_endpoint) return {};
    BOOL muted = FALSE;
    if (FAILED(m_endpoint->GetMute(&muted))) return {};
    return {muted != FALSE};
}

bool EndpointMixer::setMutes(const std::vector<bool>& values) {
    if (!m_endpoint || values.empty()) return false;
    const bool muted = std::find(values.begin(), values.end(), true) != values.end();
    return SUCCEEDED(m_endpoint->SetMute(muted ? TRUE : FALSE, nullptr));
}

} // namespace hv
