#pragma once

#include "TrayPorts.h"

#include <QList>
#include <QPointer>

namespace hv {

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
    // The one on the primary screen.
    PopupWindow* window() const;
    // All of them, the primary screen's first.
    QList<PopupWindow*> windows() const;

private:
    void show(const std::function<void(PopupWindow*)>& fill, QWidget* caller);

    QList<QPointer<PopupWindow>> m_windows;
    std::function<void()> m_closedByUser;
};

} // namespace hv
