#pragma once

#include "TrayPorts.h"

#include <QPointer>

namespace hv {

class PopupWindow;

// The poller's popup on the desktop: a fresh frmPopup for every showing.
class DesktopPopup : public PopupPort {
public:
    ~DesktopPopup() override;
    void showAlerts(const QString& text, QWidget* caller) override;
    void closePopup() override;
    bool isOpen() const override;
    PopupWindow* window() const { return m_window; }

private:
    QPointer<PopupWindow> m_window;
};

} // namespace hv
