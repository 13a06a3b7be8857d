#pragma once

#include "popup/StackKeeper.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

struct xcb_connection_t;
class QSocketNotifier;

namespace hv {

// The popup above every window on an X server. It is an override-redirect window: the window
// manager leaves it alone, so it never takes the focus, is never listed in a task bar or window
// switcher, and keeps its place and shape; but a window manager that raises a window puts it
// above the popup. So this watches the stacking of the screen's top-level windows on a
// connection of its own and raises the popup again whenever a managed window is mapped or
// restacked. A window manager's "above" state would not do: openbox and others stack an active
// full-screen window above it.
class X11StackKeeper : public QObject, public StackKeeper {
public:
    // Nothing when the program does not run on an X server or cannot reach it.
    static std::unique_ptr<X11StackKeeper> create(quint32 window);
    ~X11StackKeeper() override;

private:
    X11StackKeeper(xcb_connection_t* connection, quint32 window);
    void readEvents();
    void raise();

    xcb_connection_t* m_connection;
    quint32 m_window;
    QSocketNotifier* m_notifier;
    QTimer m_later;
    QElapsedTimer m_lastRaise;
};

} // namespace hv
