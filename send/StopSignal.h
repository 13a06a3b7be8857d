#pragma once

#include <QObject>

class QSocketNotifier;

namespace hv {

// SIGTERM (a service manager's stop) and SIGINT (Ctrl+C) as a Qt signal: the handler only writes
// the signal's number into a socket pair, and the event loop reads it between two steps, so that a
// stop never lands in the middle of a fetch's decision or a transaction. One at a time.
class StopSignal : public QObject {
    Q_OBJECT

public:
    explicit StopSignal(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~StopSignal() override;

signals:
    void stopped(int signalNumber);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace hv
