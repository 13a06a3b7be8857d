#pragma once

#include "Failure.h"
#include "TrayPorts.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlRecord>
#include <QString>
#include <functional>
#include <optional>
#include <thread>

class QWidget;

namespace hv {

// The alerts of the last three minutes by the server's clock. The window is measured on date and
// time together, so that an alert sent just before midnight stays visible after it.
QString pollStatement();
QString tooltipStatement();

// The popup text of one alert: time and code, location, the standing comments when there are
// any, the operator's message; every line ends in CR LF and NULL reads as empty.
QString alertBlock(const QSqlRecord& row);

// What the database part of one poll brought back.
struct PollResult {
    // Set when the server could not be reached or refused the login; the poll then ends there.
    std::optional<Failure> failure;
    // The statement ran; otherwise ids and text say nothing about which alerts are current.
    bool statementRan = false;
    QList<qint64> ids; // ascending
    QString text;      // one block per row, in ID order
    // The tooltip was asked for and the server answered (tooltip holds the text, NULL as empty).
    bool tooltipRead = false;
    QString tooltip;
};

// The database part of one poll: its own connection, the statement run once, the text built.
// Safe to call on any thread and from many threads at once.
PollResult fetchAlerts(const QString& connectionString, bool readTooltip);

// The poll behind Form1's Timer1. The database part runs on a worker thread so that a slow or
// silent server never freezes the desktop; the popup and the ring stay on the user-interface
// thread. Polls never overlap: a tick that arrives while one runs (also from inside a message box
// or a ring) is dropped, and two rings never play at once.
class Poller : public QObject {
    Q_OBJECT
public:
    Poller(PopupPort& popup, RingPort& ring, QWidget* caller, QObject* parent = nullptr);
    ~Poller() override;

    void setConnectionString(const QString& cs) { m_connectionString = cs; }
    // The tooltip could not be read at start: the first poll that reaches the server reads it.
    void setTooltipPending(bool pending) { m_tooltipPending = pending; }
    bool tooltipPending() const { return m_tooltipPending; }
    // The program's reaction to a refused login: remove the icon, say so, end.
    void setFatalHandler(std::function<void(const Failure&)> fn) { m_fatal = std::move(fn); }

    bool isBusy() const { return m_busy; }
    bool isRinging() const { return m_ringing; }
    qint64 intLastID() const { return m_lastID; }

    // The ring of the "Test Sound" item; ignored while a ring plays.
    void testSound();
    // No poll starts after this; a running database part is waited for.
    void shutdown();

public slots:
    void tick();

signals:
    void pollStarted();
    void pollEnded();
    void tooltipRead(const QString& text);

private:
    void deliver(const PollResult& r);
    void apply(const PollResult& r);
    void playRing();

    PopupPort& m_popup;
    RingPort& m_ring;
    QWidget* m_caller;
    QString m_connectionString;
    std::function<void(const Failure&)> m_fatal;
    bool m_tooltipPending = false;
    bool m_busy = false;
    bool m_ringing = false;
    bool m_stopped = false;
    qint64 m_lastID = 0;
    // The alerts already rung for, among those still in the window.
    QSet<qint64> m_rungIDs;
    // A result that arrived while the "Test Sound" ring played.
    std::optional<PollResult> m_pending;
    std::thread m_worker;
};

} // namespace hv
