#pragma once

#include <functional>

namespace hv {

// Where the console's statements run. A window hands each database step to it and waits for the
// answer; a failure comes back to the window as it was thrown.
class DatabaseRunner {
public:
    virtual ~DatabaseRunner();
    virtual void run(const std::function<void()>& job) = 0;
};

} // namespace hv
