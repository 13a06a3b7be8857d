#include "popup/DesktopPopup.h"

#include "popup/PopupWindow.h"

namespace hv {

DesktopPopup::~DesktopPopup() {
    closePopup();
}

void DesktopPopup::showAlerts(const QString& text, QWidget* caller) {
    closePopup();
    m_window = new PopupWindow;
    m_window->setCaller(caller);
    m_window->setMessage(QString());
    m_window->setMessage(text);
    m_window->show();
}

void DesktopPopup::closePopup() {
    if (m_window) m_window->close();
    m_window = nullptr;
}

bool DesktopPopup::isOpen() const {
    return m_window && m_window->isVisible();
}

std::unique_ptr<PopupPort> makeDesktopPopup() {
    return std::make_unique<DesktopPopup>();
}

} // namespace hv
