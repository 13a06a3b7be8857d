#pragma once

#include <memory>

class QWidget;

namespace hv {

// Keeps a shown top-level window above every normal window for as long as it lives, windows
// that are raised, activated, opened or made full-screen later included. Where the window system
// keeps a stays-on-top window there by itself, forWindow() gives none.
class StackKeeper {
public:
    virtual ~StackKeeper();
    // The keeper of the window system the program runs on; the window must have been created.
    static std::unique_ptr<StackKeeper> forWindow(QWidget* window);
};

} // namespace hv
