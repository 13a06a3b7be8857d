#pragma once

#include "TrayPorts.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>

// The popup as a user would see it: open or not, and the text it shows.
class FakePopup : public hv::PopupPort {
public:
    void showAlerts(const QString& text, QWidget* caller) override {
        open = true;
        shown.append(text);
        lastCaller = caller;
    }
    void closePopup() override { open = false; }
    bool isOpen() const override { return open; }
    void showFullScreen(const hv::PolledAlert& alert, int, QWidget*) override { fullScreen = alert.key; }
    void closeFullScreen() override { fullScreen.reset(); }
    bool isFullScreenOpen() const override { return fullScreen.has_value(); }
    void setFullScreenClosed(std::function<void(const hv::AlertKey&, const QString&)> fn) override {
        answer = std::move(fn);
    }

    std::optional<hv::AlertKey> fullScreen;
    std::function<void(const hv::AlertKey&, const QString&)> answer;
    bool open = false;
    QStringList shown;
    QWidget* lastCaller = nullptr;
};

// The mixer and the sound: counts the rings; onRing runs while one "plays".
struct RingLog {
    int rings = 0;
    int created = 0;
    int released = 0;
    std::function<void()> onRing;
};

class FakeRing : public hv::RingPort {
public:
    explicit FakeRing(std::shared_ptr<RingLog> log) : m_log(std::move(log)) { ++m_log->created; }
    ~FakeRing() override { ++m_log->released; }
    void ring() override {
        ++m_log->rings;
        if (m_log->onRing) m_log->onRing();
    }

private:
    std::shared_ptr<RingLog> m_log;
};

// The voice: what it was asked to say, each with the number of rings heard before it.
class FakeVoice : public hv::SpeechPort {
public:
    struct Log {
        std::mutex mutex;
        QStringList said;
        QStringList take() {
            std::lock_guard lock(mutex);
            return said;
        }
    };
    FakeVoice(std::shared_ptr<Log> log, std::shared_ptr<RingLog> rings)
        : m_log(std::move(log)), m_rings(std::move(rings)) {}
    void speak(const QString& text) override {
        std::lock_guard lock(m_log->mutex);
        m_log->said << QString("after %1 rings: %2").arg(m_rings->rings).arg(text);
    }
    void interrupt() override {}

private:
    std::shared_ptr<Log> m_log;
    std::shared_ptr<RingLog> m_rings;
};
