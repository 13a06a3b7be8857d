#include "platform/Platform.h"
#include "popup/StackKeeper.h"

namespace hv {

// Windows keeps a topmost window above the others by itself.
std::unique_ptr<StackKeeper> makeStackKeeper(QWidget*) {
    return nullptr;
}

} // namespace hv
