#pragma once

#include "DatabaseAccess.h"
#include "Failure.h"
#include "Handler.h"
#include "Ports.h"
#include "SiteFacts.h"
#include "TrayFailures.h"
#include "TrayPorts.h"
#include "WakeSettings.h"

#include <QByteArray>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace hv {

class Poller;
class WakeChannel;

struct TrayOptions {
    // Where halvane.ini is read; empty means beside the executable.
    QString iniPath;
    int pollIntervalMs = site::kPollIntervalMs;
    // The encoded icon pictures; empty means the ones built into the program.
    QByteArray icon32;
    QByteArray icon16;
    // The voice that reads new alerts aloud where the site turned that on; none reads nothing.
    VoiceFactory makeVoice;
};

using RingFactory = std::function<std::unique_ptr<RingPort>(MessagePort&)>;

// The tooltip as the notification area holds it: at most 64 characters, shown as plain text.
QString trayTip(const QString& text);

// Form1 ("HALVANE"), the tray client's hidden main window: it owns the notification-area icon with
// its menu, the poll timer and the poller (which holds the volume object and the popup's content),
// and it decides how the program ends.
class TrayWindow : public QWidget {
    Q_OBJECT
public:
    TrayWindow(MessagePort& msg, ExitPort& exit, std::unique_ptr<PopupPort> popup, RingFactory makeRing,
               TrayOptions options = {});
    ~TrayWindow() override;

    // Start-up: volume object, halvane.ini, the tooltip read (on the poller's thread), Timer1, icon.
    void start();
    // The desktop session ends (session manager or SIGTERM): no question, icon removed, mixer released.
    void endSession();
    // After the end: whether work was left running on a worker thread (a server or an audio
    // device that did not answer within the wait), so that the process should leave at once.
    bool workLeftBehind() const { return m_leftBehind; }

    QString strDataPath;
    // The further nodes of a database cluster, from the lines after halvane.ini's first.
    QStringList furtherServers;
    // The tray client's own account and TLS, read from halvane.ini with strDataPath.
    DatabaseAccess access;
    // The site's brokers and the tray client's account on them; none: it only polls.
    WakeSettings wake;
    QString strTrayToolTip;

    QSystemTrayIcon* trayIcon() const { return m_icon; }
    QMenu* trayMenu() const { return m_trayMenu; }
    QTimer* timer() const { return m_timer; }
    Poller* poller() const { return m_poller.get(); }
    // The wake-up channel, where halvane.ini names a broker (and the build has the client).
#ifdef HALVANE_WAKE_CHANNEL
    WakeChannel* wakeChannel() const {
        return m_wake.get();
    }
#else
    WakeChannel* wakeChannel() const {
        return nullptr;
    }
#endif
    PopupPort& popup() const {
        return *m_popup;
    }

signals:
    // The program is to end now (after Exit was confirmed or the session ended).
    void ended();

protected:
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void loadIcon();
    void readIni();
    void startWakeChannel();
    void addIcon();
    void removeIcon();
    // The program's reaction to a failure, from its one table: end with a box, or go on.
    Reaction react(TrayOperation op, const Failure& f);
    void releaseAll();

    MessagePort& m_msg;
    ExitPort& m_exit;
    std::unique_ptr<PopupPort> m_popup;
    RingFactory m_makeRing;
    TrayOptions m_options;

    QLineEdit* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QTimer* m_timer = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_mnuTestSound = nullptr;
    QAction* m_ex = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QIcon m_picture;

    std::unique_ptr<Poller> m_poller;
#ifdef HALVANE_WAKE_CHANNEL
    std::unique_ptr<WakeChannel> m_wake;
#endif
    bool m_ending = false;
    bool m_asking = false;
    bool m_leftBehind = false;
};

} // namespace hv
