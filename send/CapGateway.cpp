#include "CapGateway.h"

#include "CapError.h"
#include "CapIndex.h"
#include "CapMessageStore.h"
#include "CapReader.h"
#include "CapTime.h"
#include "Failure.h"
#include "Ports.h"
#include "SendFailures.h"

#include <QFileDevice>
#include <QNetworkProxyFactory>
#include <QSet>
#include <algorithm>
#include <csignal>

namespace hv {

CapGateway::CapGateway(Setup setup, const Clock& clock, QIODevice& log)
    : m_setup(std::move(setup)), m_clock(clock), m_log(log), m_forwarder(m_setup.forwarding, clock) {
    // A facility that reaches the world through a proxy says so as every other program is told:
    // http_proxy, https_proxy and no_proxy in the environment.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &CapGateway::cycle);
    connect(&m_stop, &StopSignal::stopped, this, [this](int number) {
        m_fetcher.abort();
        m_next.stop();
        say(QStringLiteral("stopped by %1")
                .arg(number == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT")));
        finish(ExitStatus::Done, {});
    });
}

int CapGateway::waitAfter(int failures, int everySeconds) {
    if (failures <= 0) return everySeconds;
    const qint64 longer = qint64(everySeconds) << qMin(failures, 3);
    return int(qMax<qint64>(everySeconds, qMin<qint64>(longer, kMostWaitSeconds)));
}

CapGateway::End CapGateway::run() {
    say(QStringLiteral("following %1 every %2 seconds; %3")
            .arg(m_setup.url.toString())
            .arg(m_setup.everySeconds)
            .arg(m_setup.forwarding.mapping ? QStringLiteral("events and areas as the mapping turns them into codes "
                                                             "and locations")
                                            : QStringLiteral("events and areas naming codes and locations of the "
                                                             "catalogues")));
    QTimer::singleShot(0, this, &CapGateway::cycle);
    m_loop.exec();
    return m_end;
}

void CapGateway::say(const QString& line) {
    m_log.write((line + u'\n').toUtf8());
    // A journal reads the lines as they come.
    if (auto* file = qobject_cast<QFileDevice*>(&m_log)) file->flush();
}

void CapGateway::sayFor(const QString& key, const QString& line) {
    if (m_said.value(key) == line) return;
    m_said.insert(key, line);
    say(line);
}

void CapGateway::finish(ExitStatus status, const QString& line) {
    m_end = {status, line};
    m_loop.quit();
}

void CapGateway::again(int seconds) {
    m_next.start(seconds * 1000);
}

void CapGateway::cycle() {
    if (!m_tableSeen) {
        // Without the table, messages could not be taken once; better to say so than to send the
        // same alert at every fetch.
        try {
            if (!CapMessageStore(m_setup.forwarding.servers, m_setup.forwarding.access).present()) {
                finish(ExitStatus::Failed,
                       QStringLiteral("the database on \"%1\" has no table capmessages, which keeps the CAP messages "
                                      "taken so that each is taken once; apply upgrade.sql on the database server "
                                      "(and then the accounts script, where the programs have their own accounts)")
                           .arg(m_setup.forwarding.serverName));
                return;
            }
            m_tableSeen = true;
        } catch (const Failure& f) {
            const int wait = waitAfter(++m_databaseFailures, m_setup.everySeconds);
            say(QStringLiteral("the database cannot be used: %1; the next try is in %2 seconds")
                    .arg(SendFailures::reasonFor(f, m_setup.forwarding.serverName))
                    .arg(wait));
            again(wait);
            return;
        }
    }
    m_fetcher.fetch(m_setup.url, CapIndex::kMaxBytes, true,
                    [this](const CapFetcher::Result& result) { indexFetched(result); });
}

void CapGateway::failedFetch(const QString& why) {
    const int wait = waitAfter(++m_failures, m_setup.everySeconds);
    say(QStringLiteral("the feed %1 cannot be fetched: %2; the next try is in %3 seconds")
            .arg(m_setup.url.toString(), why)
            .arg(wait));
    again(wait);
}

void CapGateway::indexFetched(const CapFetcher::Result& result) {
    if (result.kind == CapFetcher::Result::Kind::Failed) {
        failedFetch(result.error);
        return;
    }
    if (m_failures > 0)
        say(QStringLiteral("the feed %1 answers again, after %2 failed fetches")
                .arg(m_setup.url.toString())
                .arg(m_failures));
    m_failures = 0;
    if (result.kind == CapFetcher::Result::Kind::Fetched) {
        try {
            m_index = CapIndex::read(result.body, result.url);
        } catch (const CapError& e) {
            // Said once: the same answer comes back unchanged. What the feed listed before is
            // still what there is to do.
            say(QStringLiteral("refused the feed %1: %2").arg(m_setup.url.toString(), e.reason()));
        }
    }
    consider(m_index);
}

void CapGateway::consider(const CapIndex& index) {
    if (index.listed > CapIndex::kMaxEntries && index.listed != m_listedSaid)
        say(QStringLiteral("the feed %1 lists %2 entries; only its first %3 are read")
                .arg(m_setup.url.toString())
                .arg(index.listed)
                .arg(CapIndex::kMaxEntries));
    m_listedSaid = index.listed;

    QSet<QString> inFeed;
    for (const CapIndex::Entry& e : std::as_const(index.entries)) {
        const QString key = e.key();
        if (inFeed.contains(key)) continue;
        inFeed.insert(key);
        if (m_decided.contains(key)) continue;
        if (!e.problem.isEmpty()) {
            say(QStringLiteral("skipped an entry of %1: %2").arg(m_setup.url.toString(), e.problem));
            m_decided.insert(key, true);
            continue;
        }
        Document d;
        d.key = key;
        if (e.alert.isEmpty()) {
            d.link = e.link;
            d.source = e.link.toString();
            m_toFetch.append(d);
        } else {
            d.bytes = e.alert;
            d.source = index.kind == CapIndex::Kind::Alert ? m_setup.url.toString()
                                                           : QStringLiteral("an entry of ") + m_setup.url.toString();
            m_fetched.append(d);
        }
    }
    // What left the feed will not come back as it was; its place is free.
    for (auto it = m_decided.begin(); it != m_decided.end();)
        it = inFeed.contains(it.key()) ? std::next(it) : m_decided.erase(it);
    for (auto it = m_said.begin(); it != m_said.end();)
        it = inFeed.contains(it.key()) ? std::next(it) : m_said.erase(it);
    nextDocument();
}

void CapGateway::nextDocument() {
    if (m_toFetch.isEmpty()) {
        decide();
        return;
    }
    Document d = m_toFetch.takeFirst();
    m_fetcher.fetch(d.link, CapReader::kMaxDocumentBytes, false, [this, d](const CapFetcher::Result& r) mutable {
        if (r.kind == CapFetcher::Result::Kind::Fetched) {
            d.bytes = r.body;
            m_fetched.append(d);
        } else {
            sayFor(d.key, QStringLiteral("%1 cannot be fetched: %2; it is tried again at the next fetch of the feed")
                              .arg(d.source, r.error));
        }
        nextDocument();
    });
}

void CapGateway::decide() {
    struct Parsed {
        Document document;
        CapAlert alert;
        QDateTime sent;
    };
    QList<Parsed> messages;
    for (const Document& d : std::as_const(m_fetched)) {
        try {
            const CapAlert alert = CapReader::parse(d.bytes);
            messages.append({d, alert, captime::parse(alert.sent).value_or(QDateTime())});
        } catch (const CapError& e) {
            say(QStringLiteral("refused %1: %2").arg(d.source, e.reason()));
            m_decided.insert(d.key, true);
        }
    }
    m_fetched.clear();
    // The oldest first, so that an Update or a Cancel finds what it names already taken.
    std::stable_sort(messages.begin(), messages.end(),
                     [](const Parsed& a, const Parsed& b) { return a.sent < b.sent; });

    // A message that a newer one of the same fetch updates or cancels is not sent only to be taken
    // back a moment later.
    CapIntake::Rules rules = m_setup.forwarding.rules;
    rules.now = m_clock.now();
    QHash<QString, QString> supersededBy;
    for (const Parsed& m : std::as_const(messages)) {
        if (m.alert.msgType != u"Update" && m.alert.msgType != u"Cancel") continue;
        // One that names another sender's message is refused as a whole.
        bool own = true;
        for (const CapAlert::Reference& r : m.alert.references)
            own = own && r.sender == m.alert.sender;
        if (!own) continue;
        try {
            CapIntake::actionFor(m.alert, rules);
        } catch (const CapError&) {
            continue;
        }
        for (const CapAlert::Reference& r : m.alert.references)
            supersededBy.insert(r.sender + u',' + r.identifier + u',' + r.sent, CapForwarder::nameOf(m.alert));
    }

    for (const Parsed& m : std::as_const(messages)) {
        const QString name = CapForwarder::nameOf(m.alert);
        const QString heading = name + QStringLiteral(" (") + m.alert.msgType + QStringLiteral("): ");
        if (const auto it = supersededBy.constFind(name); it != supersededBy.cend()) {
            say(QStringLiteral("skipped ") + heading +
                QStringLiteral("%1, in the same feed, updates or cancels it").arg(it.value()));
            m_decided.insert(m.document.key, true);
            continue;
        }
        const CapForwarder::Decision d = m_forwarder.take(m.alert);
        QStringList said{d.reason};
        said += d.notes;
        const QString line = CapForwarder::verb(d.kind) + u' ' + heading + said.join(QStringLiteral("; "));
        if (d.kind == CapForwarder::Decision::Kind::Failed || !d.again)
            say(line);
        else
            sayFor(m.document.key, line);
        if (d.kind == CapForwarder::Decision::Kind::Failed) {
            // The database is down or refuses: the rest would fare no better now, and all of them
            // are tried again at the next fetch.
            break;
        }
        if (!d.again) m_decided.insert(m.document.key, true);
    }
    again(m_setup.everySeconds);
}

} // namespace hv
