#include "platform/posix/X11StackKeeper.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdlib>
#include <xcb/xcb.h>

namespace hv {

namespace {

// Another program that keeps raising its own window would otherwise start a raising match; at
// this pace it costs nothing and the popup is still back on top at once.
constexpr int kMinRaiseIntervalMs = 100;

} // namespace

std::unique_ptr<X11StackKeeper> X11StackKeeper::create(quint32 window) {
    // A connection of its own: selecting the root window's events on the toolkit's connection
    // would replace the toolkit's own selection there.
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return nullptr;
    }
    const uint32_t mask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    xcb_change_window_attributes(c, it.data->root, XCB_CW_EVENT_MASK, mask);
    xcb_flush(c);
    return std::unique_ptr<X11StackKeeper>(new X11StackKeeper(c, window));
}

X11StackKeeper::X11StackKeeper(xcb_connection_t* connection, quint32 window)
    : m_connection(connection), m_window(window),
      m_notifier(new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this)) {
    connect(m_notifier, &QSocketNotifier::activated, this, &X11StackKeeper::readEvents);
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, &X11StackKeeper::raise);
}

X11StackKeeper::~X11StackKeeper() {
    m_notifier->setEnabled(false);
    xcb_disconnect(m_connection);
}

void X11StackKeeper::readEvents() {
    bool covered = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_connection)) {
        // Menus, tooltips and other popups (override-redirect windows) may lie above it.
        switch (e->response_type & ~0x80) {
        case XCB_MAP_NOTIFY: {
            const auto* m = reinterpret_cast<const xcb_map_notify_event_t*>(e);
            covered |= m->window != m_window && !m->override_redirect;
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto* c = reinterpret_cast<const xcb_configure_notify_event_t*>(e);
            covered |= c->window != m_window && !c->override_redirect;
            break;
        }
        case XCB_CIRCULATE_NOTIFY: {
            const auto* c = reinterpret_cast<const xcb_circulate_notify_event_t*>(e);
            covered |= c->window != m_window && c->place == XCB_PLACE_ON_TOP;
            break;
        }
        default:
            break;
        }
        std::free(e);
    }
    if (xcb_connection_has_error(m_connection)) {
        m_notifier->setEnabled(false);
        return;
    }
    if (!covered || m_later.isActive()) return;
    const qint64 since = m_lastRaise.isValid() ? m_lastRaise.elapsed() : kMinRaiseIntervalMs;
    if (since >= kMinRaiseIntervalMs)
        raise();
    else
        m_later.start(int(kMinRaiseIntervalMs - since));
}

void X11StackKeeper::raise() {
    const uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(m_connection, m_window, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_flush(m_connection);
    m_lastRaise.start();
}

} // namespace hv
