#pragma once

#include <QPointer>
#include <utility>

namespace hv {

// The one global instance of a secondary console window. The window is made at its first opening
// and destroyed when it closes, which releases the instance, so that every opening after that
// starts afresh; an opening while it is open brings the open one forward.
template <class Window> class SingleWindow {
public:
    // The open window, if any.
    Window* current() const { return m_window.data(); }

    // The open window, or a new one from make(), not yet shown.
    template <class Make> Window& instance(Make&& make) {
        if (!m_window) replaceWith(std::forward<Make>(make)());
        return *m_window;
    }

    // The open window, or a new one from make(), shown above the other windows and active.
    template <class Make> Window& open(Make&& make) {
        Window& window = instance(std::forward<Make>(make));
        window.show();
        window.raise();
        window.activateWindow();
        return window;
    }

    // The open window goes, if any, and a window made elsewhere becomes the instance.
    void replaceWith(Window* window) {
        close();
        window->setAttribute(Qt::WA_DeleteOnClose);
        m_window = window;
    }

    // Closes the open window, if any, and destroys it now rather than at the next turn of the
    // event loop, so that two never exist at once.
    void close() {
        Window* window = m_window.data();
        if (!window) return;
        m_window.clear();
        window->close();
        delete window;
    }

private:
    QPointer<Window> m_window;
};

} // namespace hv
