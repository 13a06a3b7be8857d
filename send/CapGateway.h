#pragma once

#include "CapFetcher.h"
#include "CapForwarder.h"
#include "CapIndex.h"
#include "ExitStatus.h"
#include "StopSignal.h"

#include <QByteArray>
#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QIODevice;

namespace hv {

class Clock;

// halvane-send --follow: a CAP feed followed in the foreground, for a service manager. Every so
// often it fetches the feed (an Atom or RSS index of CAP documents, or one CAP document), fetches
// the documents of entries it has not decided yet, and hands each message to the forwarder, the
// oldest first. It writes one line per decision to its log; it keeps going when the feed or the
// database is down (later fetches wait longer, up to a bound) and ends on SIGTERM or SIGINT,
// between two steps.
class CapGateway : public QObject {
    Q_OBJECT

public:
    struct Setup {
        CapForwarder::Setup forwarding;
        QUrl url;
        int everySeconds = 60;
    };
    struct End {
        ExitStatus status = ExitStatus::Done;
        // Why it could not go on, for standard error; empty after a stop.
        QString line;
    };

    // After failed fetches the gateway waits longer, up to this.
    static constexpr int kMostWaitSeconds = 900;

    CapGateway(Setup setup, const Clock& clock, QIODevice& log);

    // Returns when stopped, or when the database lacks what the gateway needs.
    End run();

    // The wait before the next fetch after `failures` failed ones in a row.
    static int waitAfter(int failures, int everySeconds);

private:
    struct Document {
        QString key; // of the feed's entry
        QString source;
        QUrl link;
        QByteArray bytes;
    };

    void cycle();
    void indexFetched(const CapFetcher::Result& result);
    void consider(const CapIndex& index);
    void nextDocument();
    void decide();
    void again(int seconds);
    void failedFetch(const QString& why);
    void say(const QString& line);
    // The same line for the same entry is said once, however often the entry is tried again.
    void sayFor(const QString& key, const QString& line);
    void finish(ExitStatus status, const QString& line);

    Setup m_setup;
    const Clock& m_clock;
    QIODevice& m_log;
    CapForwarder m_forwarder;
    CapFetcher m_fetcher;
    StopSignal m_stop;
    QTimer m_next;
    QEventLoop m_loop;
    End m_end;

    bool m_tableSeen = false;
    int m_databaseFailures = 0;
    int m_failures = 0;
    // The feed as last read: an unchanged feed still has its undecided entries tried again.
    CapIndex m_index;
    int m_listedSaid = 0;
    // The feed's entries decided already, by their key; only those still in the feed are kept.
    QHash<QString, bool> m_decided;
    // What was last said of an entry that is tried again.
    QHash<QString, QString> m_said;
    QList<Document> m_toFetch;
    QList<Document> m_fetched;
};

} // namespace hv
