#pragma once

#include "DatabaseAccess.h"
#include "JobQueue.h"
#include "ServerList.h"

#include <functional>
#include <utility>

class QObject;

namespace hv {

// Where the console's statements run: two threads of their own, aimed at the database nodes and
// the console's account. The steps of an operation run on one, in order, while the window waits
// for each without freezing: the windows keep painting, keys, clicks and the session's requests
// wait until the step is done, so that nothing can start a second operation or close a window
// whose step is still running, and a wait longer than kBusyPointerAfterMs shows the busy pointer.
// The reads that a window repeats by itself every few seconds run on the other, so that a slow
// server never holds up a step or the operator: the window does not wait for them and hears the
// answer on its own thread, unless it has gone meanwhile. Every connection is made, used and
// closed inside one job.
class ConsoleDatabase {
public:
    static constexpr int kBusyPointerAfterMs = 2000;

    // The nodes (the one that last worked first) and the console's own account and TLS.
    struct Target {
        ServerList servers;
        DatabaseAccess access;
    };

    // target is asked on the window thread each time a store is made, so that every job goes
    // where halvane.ini, as the main window read it, says.
    explicit ConsoleDatabase(std::function<Target()> target);
    // A job under way may take as long as its statements' bounds; one that takes longer is left
    // behind, and jobs still waiting are dropped.
    ~ConsoleDatabase();
    ConsoleDatabase(const ConsoleDatabase&) = delete;
    ConsoleDatabase& operator=(const ConsoleDatabase&) = delete;

    // A store of the console's (UserStore, CancelStore, ...) aimed at the target; its own
    // arguments, if any, come first.
    template <class Store, class... Args> Store store(Args&&... args) const {
        const Target at = m_target();
        return Store(std::forward<Args>(args)..., at.servers, at.access);
    }

    // Runs one step on the database thread and waits for it; a failure it throws is thrown here.
    void run(const std::function<void()>& step);
    // The same for a step with a store made for it.
    template <class Store, class Step> void run(Step&& step) {
        Store s = store<Store>();
        run([&] { step(s); });
    }

    // read(store) on the background thread, then done with its answer or failure on the window
    // thread, unless receiver (living there) has gone meanwhile.
    template <class Store, class R>
    void refresh(QObject* receiver, std::function<R(Store&)> read, std::function<void(const JobResult<R>&)> done) {
        m_refreshes.post<R>(
            receiver, [s = store<Store>(), read = std::move(read)]() mutable { return read(s); }, std::move(done));
    }

private:
    std::function<Target()> m_target;
    JobWait m_wait;
    JobQueue m_steps;
    JobQueue m_refreshes;
};

} // namespace hv
