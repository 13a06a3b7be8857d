#pragma once

#include "AudioState.h"
#include "PollSnapshot.h"
#include "Ports.h"
#include "RingReport.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QWidget;

namespace hv {

// The alert popup as the poller uses it.
class PopupPort {
public:
    virtual ~PopupPort();
    // Loads the popup (placed and shown, never taking the focus) with the alert text.
    virtual void showAlerts(const QString& text, QWidget* caller) = 0;
    // The same with the text as one block per alert, newest first: a popup that cannot show them
    // all says how many more are live instead of cutting the last ones off unseen.
    virtual void showBlocks(const QStringList& blocks, QWidget* caller) { showAlerts(blocks.join(QString()), caller); }
    // Unloads it if it is open.
    virtual void closePopup() = 0;
    virtual bool isOpen() const = 0;
    // Called when the user, not the poller, closes the popup.
    virtual void setClosedByUser(std::function<void()> fn) { (void)fn; }

    // The alert over the whole of every screen, with the focus; moreLive further ones wait behind
    // it. The same alert shown again stays as it is (the user may be reaching for a button).
    // A popup without it (a test's) shows nothing there.
    virtual void showFullScreen(const PolledAlert& alert, int moreLive, QWidget* caller) {
        (void)alert, (void)moreLive, (void)caller;
    }
    virtual void closeFullScreen() {}
    virtual bool isFullScreenOpen() const { return false; }
    // Called when the user answers it (or closes one without answers: the answer is empty).
    virtual void setFullScreenClosed(std::function<void(const AlertKey&, const QString&)> fn) { (void)fn; }
};

// The ring: volume raised to its floor and mute lifted for one synchronous play, then restored.
class RingPort {
public:
    virtual ~RingPort();
    virtual void ring() = 0;
    // Called from another thread as the program ends: the sound under way (and any later one)
    // ends early, and ring() returns soon with volume and mute put back.
    virtual void interrupt() {}
    // How the last ring went, for the workstation's receipt.
    virtual RingReport lastReport() const { return {}; }
    // What the workstation's check-in says of its audio; a mixer missing since the start is looked
    // for once more.
    virtual AudioState audioState() { return {}; }
};

// A voice that reads alerts aloud. It is made, used and dropped on one thread (the audio thread).
class SpeechPort {
public:
    virtual ~SpeechPort();
    // Speaks the text to its end and returns; sooner when interrupted or when the engine fails.
    virtual void speak(const QString& text) = 0;
    // From any thread: the speech under way ends soon.
    virtual void interrupt() = 0;
};

// Makes the voice on the thread that will use it; none (nullptr) when no engine is installed.
using VoiceFactory = std::function<std::unique_ptr<SpeechPort>()>;

// The real popup window on the desktop.
std::unique_ptr<PopupPort> makeDesktopPopup();

} // namespace hv
