#pragma once

#include <QByteArray>
#include <QHash>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

class QNetworkReply;

namespace hv {

// Fetches feeds and CAP documents over HTTP and HTTPS (the system's certificate authorities, no
// error overlooked), one at a time, each bounded in time and in size. A feed is asked for with
// the validators of its last answer (If-None-Match, If-Modified-Since), so that an unchanged feed
// costs its server almost nothing.
class CapFetcher : public QObject {
    Q_OBJECT

public:
    struct Result {
        enum class Kind { Fetched, Unchanged, Failed };
        Kind kind = Kind::Failed;
        QByteArray body;
        // Why it failed, in words.
        QString error;
        // Where the answer came from, after redirects: relative links are taken from there.
        QUrl url;
    };
    using Done = std::function<void(const Result&)>;

    // A fetch that takes longer than this, from the request to the last byte, is given up.
    static constexpr int kTimeoutSeconds = 30;
    static constexpr int kMostRedirects = 5;

    explicit CapFetcher(QObject* parent = nullptr);

    // conditional: send the validators of the last answer for this address, and say Unchanged for
    // 304. done runs once, on this object's thread.
    void fetch(const QUrl& url, qint64 maxBytes, bool conditional, Done done);
    // Forgets the validators of an address, so that the next fetch asks for all of it.
    void forget(const QUrl& url);
    // Gives up the fetch under way; its done runs no more.
    void abort();

private:
    struct Validators {
        QByteArray etag;
        QByteArray lastModified;
    };

    QNetworkAccessManager m_network;
    QHash<QUrl, Validators> m_validators;
    QPointer<QNetworkReply> m_reply;
};

} // namespace hv
