#pragma once

namespace hv {

// Keeps a shown top-level window above every normal window for as long as it lives, windows
// that are raised, activated, opened or made full-screen later included. Where the window system
// keeps a stays-on-top window there by itself, there is none (makeStackKeeper, platform/Platform.h).
class StackKeeper {
public:
    virtual ~StackKeeper();
};

} // namespace hv
