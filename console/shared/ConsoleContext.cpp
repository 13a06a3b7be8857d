#include "shared/ConsoleContext.h"

#include "shared/ThreadedRunner.h"

namespace hv {

DatabaseRunner& ConsoleContext::database() const {
    return db ? *db : ThreadedRunner::shared();
}

} // namespace hv
