#include "widgets/Hourglass.h"

namespace hv {

Hourglass::Hourglass(QWidget* window) : m_window(window) {
    on();
}

Hourglass::~Hourglass() {
    off();
}

void Hourglass::on() {
    if (m_window) m_window->setCursor(Qt::WaitCursor);
}

void Hourglass::off() {
    if (m_window) m_window->unsetCursor();
}

} // namespace hv
