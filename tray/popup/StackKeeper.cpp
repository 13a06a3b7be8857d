#include "popup/StackKeeper.h"

namespace hv {

StackKeeper::~StackKeeper() = default;

} // namespace hv
