#include "AdminEntry.h"

// Until the login window exists the menu item does nothing visible.
void openLoginWindow(ConsoleContext&) {}
