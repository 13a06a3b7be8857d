#pragma once

#include <QList>
#include <QString>

namespace hv {

struct IniSettings;

// One broker of the wake-up channel as halvane.ini names it.
struct WakeBroker {
    QString host;
    int port = 0;
    // "host:port", as the programs name it in what they say.
    QString text() const;
};

// What a program needs to reach the site's brokers: which, in what order, as whom, how encrypted,
// and the site's name, which makes the topic. Without a broker there is no wake-up channel and
// every program behaves as if it had never heard of one.
struct WakeSettings {
    static constexpr int kPlainPort = 1883;
    static constexpr int kTlsPort = 8883;

    QList<WakeBroker> brokers;
    QString user;
    QString password;
    // With an authority named, every broker connection is encrypted and the broker's name checked
    // against its certificate, or not made.
    bool tls = false;
    QString caFile;
    QString site;

    bool enabled() const { return !brokers.isEmpty(); }
    // Where the site's alerts and cancellations travel: "halvane/SITE/alerts".
    QString topic() const;

    // The tray client's account (it may only subscribe) and the console's (it may only publish),
    // with the brokers, the authority and the site that both share.
    static WakeSettings forTray(const IniSettings& ini);
    static WakeSettings forConsole(const IniSettings& ini);
    // A site that names itself nothing is "halvane".
    static QString defaultSite();

    // "host", "host:port", "[v6]:port": the port given, else the one that goes with TLS or not.
    static WakeBroker brokerOf(const QString& text, bool tls);
};

} // namespace hv
