#include "ring/AudioWorker.h"

#include "Handler.h"
#include "WorkerThread.h"

namespace hv {

AudioWorker::AudioWorker(std::unique_ptr<RingPort> ring) : m_ring(std::move(ring)) {}

AudioWorker::~AudioWorker() = default;

void AudioWorker::ring(int ticket, TrayOperation op) {
    m_jobs.push_back({ticket, op});
    if (m_playing) return;
    m_playing = true;
    while (!m_jobs.empty() && !WorkerThread::stopping()) {
        const Job job = m_jobs.front();
        m_jobs.pop_front();
        Handler h([op = job.op](const Failure& f) { return TrayFailures::reaction(op, f); });
        h.run([&] { h.step([&] { m_ring->ring(); }); });
        emit rang(job.ticket);
    }
    m_playing = false;
}

void AudioWorker::interrupt() {
    m_ring->interrupt();
}

} // namespace hv
