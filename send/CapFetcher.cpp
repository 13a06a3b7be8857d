#include "CapFetcher.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>

namespace hv {

CapFetcher::CapFetcher(QObject* parent) : QObject(parent) {
    // Nothing is kept between fetches but the validators: a disk cache would answer for the feed.
    m_network.setCache(nullptr);
    m_network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

void CapFetcher::forget(const QUrl& url) {
    m_validators.remove(url);
}

void CapFetcher::abort() {
    if (!m_reply) return;
    QNetworkReply* reply = m_reply;
    m_reply.clear();
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void CapFetcher::fetch(const QUrl& url, qint64 maxBytes, bool conditional, Done done) {
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(kMostRedirects);
    // A server that stops sending is given up as soon as one that is slow to finish.
    request.setTransferTimeout(kTimeoutSeconds * 1000);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("halvane-send/" HALVANE_VERSION " (CAP gateway)"));
    request.setRawHeader("Accept", "application/atom+xml, application/rss+xml, application/cap+xml, "
                                   "application/xml;q=0.9, text/xml;q=0.9, */*;q=0.1");
    if (conditional) {
        const auto it = m_validators.constFind(url);
        if (it != m_validators.cend()) {
            if (!it->etag.isEmpty()) request.setRawHeader("If-None-Match", it->etag);
            if (!it->lastModified.isEmpty()) request.setRawHeader("If-Modified-Since", it->lastModified);
        }
    }

    QNetworkReply* reply = m_network.get(request);
    m_reply = reply;
    struct State {
        QByteArray body;
        QString givenUp;
    };
    auto state = std::make_shared<State>();
    auto giveUp = [reply, state](const QString& why) {
        if (state->givenUp.isEmpty()) state->givenUp = why;
        reply->abort();
    };

    // The whole fetch, redirects included, within its bound.
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply,
            [giveUp] { giveUp(QStringLiteral("no complete answer within %1 seconds").arg(kTimeoutSeconds)); });
    timer->start(kTimeoutSeconds * 1000);

    auto tooLarge = QStringLiteral("the answer is larger than %1 bytes").arg(maxBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, maxBytes, giveUp, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) giveUp(tooLarge);
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, state, maxBytes, giveUp, tooLarge] {
        state->body += reply->read(maxBytes + 1 - state->body.size());
        if (state->body.size() > maxBytes) giveUp(tooLarge);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, state, maxBytes, url, done, tooLarge] {
        if (m_reply == reply) m_reply.clear();
        reply->deleteLater();
        Result r;
        r.url = reply->url();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!state->givenUp.isEmpty()) {
            r.error = state->givenUp;
        } else if (status == 304) {
            r.kind = Result::Kind::Unchanged;
        } else if (reply->error() != QNetworkReply::NoError) {
            const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            r.error = status > 0 ? QStringLiteral("the server answered %1 %2").arg(status).arg(phrase).trimmed()
                                 : reply->errorString();
        } else {
            state->body += reply->read(maxBytes + 1 - state->body.size());
            if (state->body.size() > maxBytes) {
                r.error = tooLarge;
            } else {
                r.kind = Result::Kind::Fetched;
                r.body = state->body;
                m_validators.insert(url, {reply->rawHeader("ETag"), reply->rawHeader("Last-Modified")});
            }
        }
        done(r);
    });
}

} // namespace hv
