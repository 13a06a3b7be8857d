#include "popup/DesktopPopup.h"

#include "popup/FullScreenWindow.h"
#include "popup/PopupWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace hv {

DesktopPopup::~DesktopPopup() {
    closePopup();
    closeFullScreen();
}

namespace {

// Every screen, the primary first.
QList<QScreen*> screensPrimaryFirst() {
    QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) {
        screens.removeAll(primary);
        screens.prepend(primary);
    }
    if (screens.isEmpty()) screens.append(nullptr);
    return screens;
}

} // namespace

void DesktopPopup::showFullScreen(const PolledAlert& alert, int moreLive, QWidget* caller) {
    (void)caller;
    if (isFullScreenOpen() && m_fullScreenKey == alert.key && m_fullScreenMore == moreLive) {
        // A balloon shown since comes up above it: the emergency goes back on top.
        for (const QPointer<FullScreenWindow>& w : std::as_const(m_fullScreen))
            if (w) w->raise();
        return;
    }
    closeFullScreen();
    m_fullScreenKey = alert.key;
    m_fullScreenMore = moreLive;
    QList<QRect> covered;
    for (QScreen* screen : screensPrimaryFirst()) {
        // A mirrored monitor shows the same place twice; one window is enough there.
        const QRect place = screen ? screen->geometry() : QRect();
        if (covered.contains(place)) continue;
        covered.append(place);
        auto* w = new FullScreenWindow(alert, moreLive, screen);
        const AlertKey key = alert.key;
        QObject::connect(w, &FullScreenWindow::closedByUser, w, [this, key](const QString& answer) {
            // All of them go before the poller hears of it, so that what it shows next is not covered.
            closeFullScreen();
            if (m_fullScreenClosed) m_fullScreenClosed(key, answer);
        });
        m_fullScreen.append(w);
    }
    for (const QPointer<FullScreenWindow>& w : std::as_const(m_fullScreen))
        w->show();
    // The primary screen's takes the focus: an emergency comes before the user's work.
    if (!m_fullScreen.isEmpty() && m_fullScreen.front()) {
        m_fullScreen.front()->raise();
        m_fullScreen.front()->activateWindow();
        m_fullScreen.front()->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void DesktopPopup::closeFullScreen() {
    const QList<QPointer<FullScreenWindow>> windows = std::exchange(m_fullScreen, {});
    for (const QPointer<FullScreenWindow>& w : windows)
        if (w) w->close();
}

bool DesktopPopup::isFullScreenOpen() const {
    for (const QPointer<FullScreenWindow>& w : m_fullScreen)
        if (w && w->isVisible()) return true;
    return false;
}

QList<FullScreenWindow*> DesktopPopup::fullScreenWindows() const {
    QList<FullScreenWindow*> all;
    for (const QPointer<FullScreenWindow>& w : m_fullScreen)
        if (w) all.append(w);
    return all;
}

void DesktopPopup::showAlerts(const QString& text, QWidget* caller) {
    show([&](PopupWindow* w) { w->setMessage(text); }, caller);
}

void DesktopPopup::showBlocks(const QStringList& blocks, QWidget* caller) {
    show([&](PopupWindow* w) { w->setBlocks(blocks); }, caller);
}

void DesktopPopup::show(const std::function<void(PopupWindow*)>& fill, QWidget* caller) {
    closePopup();
    QList<QRect> covered;
    for (QScreen* screen : screensPrimaryFirst()) {
        // A mirrored monitor shows the same place twice; one balloon is enough there.
        const QRect place = PopupWindow::placement(screen);
        if (covered.contains(place)) continue;
        covered.append(place);
        auto* w = new PopupWindow(screen);
        w->setCaller(caller);
        w->setMessage(QString());
        fill(w);
        QObject::connect(w, &PopupWindow::closedByUser, w, [this] {
            if (m_closedByUser) m_closedByUser();
        });
        QObject::connect(w, &PopupWindow::dismissed, w, [this] { closePopup(); });
        m_windows.append(w);
    }
    // All are made before any is shown, so that they appear together.
    for (const QPointer<PopupWindow>& w : std::as_const(m_windows))
        w->show();
}

void DesktopPopup::closePopup() {
    const QList<QPointer<PopupWindow>> windows = std::exchange(m_windows, {});
    for (const QPointer<PopupWindow>& w : windows)
        if (w) w->close();
}

bool DesktopPopup::isOpen() const {
    for (const QPointer<PopupWindow>& w : m_windows)
        if (w && w->isVisible()) return true;
    return false;
}

PopupWindow* DesktopPopup::window() const {
    for (const QPointer<PopupWindow>& w : m_windows)
        if (w) return w;
    return nullptr;
}

QList<PopupWindow*> DesktopPopup::windows() const {
    QList<PopupWindow*> all;
    for (const QPointer<PopupWindow>& w : m_windows)
        if (w) all.append(w);
    return all;
}

std::unique_ptr<PopupPort> makeDesktopPopup() {
    return std::make_unique<DesktopPopup>();
}

} // namespace hv
