#pragma once

#include <QPointer>
#include <QWidget>

namespace hv {

// The hourglass over one window while it works; every way out, a failure's included, gives the
// normal pointer back. A window that has gone meanwhile is left alone.
class Hourglass {
public:
    explicit Hourglass(QWidget* window);
    ~Hourglass();
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

    void on();
    void off();

private:
    QPointer<QWidget> m_window;
};

} // namespace hv
