#include "ConsoleApp.h"

namespace hv {
int consoleAppVersion() {
    return 1;
}
} // namespace hv
