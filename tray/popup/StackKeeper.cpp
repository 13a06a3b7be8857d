#include "popup/StackKeeper.h"

namespace hv {

StackKeeper::~StackKeeper() = default;

#ifndef HALVANE_X11_STACK_KEEPER
std::unique_ptr<StackKeeper> StackKeeper::forWindow(QWidget*) {
    return nullptr;
}
#endif

} // namespace hv
