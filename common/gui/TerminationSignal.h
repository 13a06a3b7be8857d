#pragma once

#include <QObject>

class QSocketNotifier;

namespace hv {

// SIGTERM (the session or the system stopping the program) as a signal on the program's own
// thread, so that the program can close its windows and tidy up as it would for the user. The
// handler only writes a byte into a socket pair; the event loop reads it. One per process.
class TerminationSignal : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignal(QObject* parent = nullptr);
    ~TerminationSignal() override;

    // False when the socket pair could not be made; SIGTERM then ends the program at once.
    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void received();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace hv
