#pragma once

// Placeholder so that the library has a translation unit until the windows arrive.
namespace hv {
int consoleAppVersion();
}
