#pragma once

struct ConsoleContext;

// Edit > "Administrator Properties": shows the login window (one instance; asking again brings
// the open one forward). A successful login opens the administration window.
void openLoginWindow(ConsoleContext& ctx);
