#pragma once

#include "TrayPorts.h"

#include <QList>
#include <QPointer>

namespace hv {

class FullScreenWindow;
class PopupWindow;

// The poller's popup on the desktop: a fresh frmPopup on every screen for every showing, so that
// a user who looks at another monitor sees the alert too. They open and close together: a click
// on one closes them all.
class DesktopPopup : public PopupPort {
public:
    ~DesktopPopup() override;
    void showAlerts(const QString& text, QWidget* caller) override;
    void showBlocks(const QStringList& blocks, QWidget* caller) override;
    void closePopup() override;
    bool isOpen() const override;
    void setClosedByUser(std::function<void()> fn) override { m_closedByUser = std::move(fn); }
    void showFullScreen(const PolledAlert& alert, int moreLive, QWidget* caller) override;
    void closeFullScreen() override;
    bool isFullScreenOpen() const override;
    void setFullScreenClosed(std::function<void(const AlertKey&, const QString&)> fn) override {
        m_fullScreenClosed = std::move(fn);
    }
    // The full-screen alert on each screen, the primary screen's first.
    QList<FullScreenWindow*> fullScreenWindows() const;
    // The one on the primary screen.
    PopupWindow* window() const;
    // All of them, the primary screen's first.
    QList<PopupWindow*> windows() const;

private:
    void show(const std::function<void(PopupWindow*)>& fill, QWidget* caller);

    QList<QPointer<PopupWindow>> m_windows;
    std::function<void()> m_closedByUser;
    QList<QPointer<FullScreenWindow>> m_fullScreen;
    AlertKey m_fullScreenKey;
    int m_fullScreenMore = 0;
    std::function<void(const AlertKey&, const QString&)> m_fullScreenClosed;
};

} // namespace hv
