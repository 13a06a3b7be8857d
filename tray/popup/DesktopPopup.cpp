#include "popup/DesktopPopup.h"

#include "popup/PopupWindow.h"

#include <QGuiApplication>
#include <QScreen>

namespace hv {

DesktopPopup::~DesktopPopup() {
    closePopup();
}

void DesktopPopup::showAlerts(const QString& text, QWidget* caller) {
    show([&](PopupWindow* w) { w->setMessage(text); }, caller);
}

void DesktopPopup::showBlocks(const QStringList& blocks, QWidget* caller) {
    show([&](PopupWindow* w) { w->setBlocks(blocks); }, caller);
}

void DesktopPopup::show(const std::function<void(PopupWindow*)>& fill, QWidget* caller) {
    closePopup();
    QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) {
        screens.removeAll(primary);
        screens.prepend(primary);
    }
    if (screens.isEmpty()) screens.append(nullptr);
    QList<QRect> covered;
    for (QScreen* screen : std::as_const(screens)) {
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
