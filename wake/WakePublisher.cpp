#include "WakePublisher.h"

#include "Mosquitto.h"

#include <mosquitto.h>
#include <poll.h>

#include <algorithm>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace hv {

namespace {

// One broker's part of a publication.
struct Link {
    WakeBroker broker;
    mosquitto* m = nullptr;
    const QList<QByteArray>* payloads = nullptr;
    QByteArray topic;
    int acknowledged = 0;
    bool connected = false;
    bool done = false;
    QString why; // set when it failed

    void fail(const QString& text) {
        if (!done) why = text;
        done = true;
    }
};

Link* linkOf(void* obj) {
    return static_cast<Link*>(obj);
}

void onConnect(mosquitto* m, void* obj, int rc) {
    Link* l = linkOf(obj);
    if (rc != 0) {
        l->fail(QStringLiteral("the broker refused the connection: %1")
                    .arg(QString::fromUtf8(mosquitto_reason_string(rc))));
        return;
    }
    l->connected = true;
    for (const QByteArray& p : *l->payloads) {
        const int sent =
            mosquitto_publish_v5(m, nullptr, l->topic.constData(), int(p.size()), p.constData(), 1, false, nullptr);
        if (sent != MOSQ_ERR_SUCCESS) {
            l->fail(QStringLiteral("the message could not be sent: %1").arg(mqtt::errorText(sent)));
            return;
        }
    }
}

void onPublish(mosquitto* m, void* obj, int, int reason, const mosquitto_property*) {
    Link* l = linkOf(obj);
    // 0x10, "no matching subscribers", is a success: nobody listens right now.
    if (reason >= 0x80) {
        l->fail(QStringLiteral("the broker refused the message: %1")
                    .arg(QString::fromUtf8(mosquitto_reason_string(reason))));
        return;
    }
    if (++l->acknowledged == l->payloads->size() && !l->done) {
        l->done = true;
        mosquitto_disconnect(m);
    }
}

void onDisconnect(mosquitto*, void* obj, int rc) {
    Link* l = linkOf(obj);
    if (!l->done) l->fail(rc == 0 ? QStringLiteral("the broker closed the connection") : mqtt::errorText(rc));
}

} // namespace

WakePublisher::Outcome WakePublisher::publish(const QList<WakeMessage>& messages, QDeadlineTimer deadline) const {
    Outcome out;
    if (!m_settings.enabled() || messages.isEmpty()) return out;
    QList<QByteArray> payloads;
    for (const WakeMessage& m : messages) {
        // Larger than a workstation reads (an audience of very many host names): the poll brings it.
        const QByteArray payload = m.encode();
        if (payload.size() <= WakeMessage::kMaxBytes) payloads << payload;
    }
    if (payloads.isEmpty()) return out;

    std::vector<std::unique_ptr<Link>> links;
    for (const WakeBroker& b : m_settings.brokers) {
        auto l = std::make_unique<Link>();
        l->broker = b;
        l->payloads = &payloads;
        l->topic = m_settings.topic().toUtf8();
        QString why;
        l->m = mqtt::newClient(m_settings, {}, l.get(), true, &why);
        if (!l->m) {
            l->fail(why);
        } else {
            mosquitto_connect_callback_set(l->m, onConnect);
            mosquitto_publish_v5_callback_set(l->m, onPublish);
            mosquitto_disconnect_callback_set(l->m, onDisconnect);
            const QByteArray host = b.host.toUtf8();
            const int rc = mosquitto_connect_async(l->m, host.constData(), b.port, 10);
            if (rc != MOSQ_ERR_SUCCESS) l->fail(mqtt::errorText(rc));
        }
        links.push_back(std::move(l));
    }

    // Every broker at once: the slowest one bounds the whole, not their sum.
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Link*> polled;
        for (auto& l : links) {
            if (l->done) continue;
            const int fd = mosquitto_socket(l->m);
            if (fd < 0) {
                l->fail(QStringLiteral("the connection was lost"));
                continue;
            }
            fds.push_back({fd, short(POLLIN | (mosquitto_want_write(l->m) ? POLLOUT : 0)), 0});
            polled.push_back(l.get());
        }
        if (fds.empty() || deadline.hasExpired()) break;
        const int wait = int(std::clamp<qint64>(deadline.remainingTime(), 0, 50));
        if (::poll(fds.data(), fds.size(), wait) < 0 && errno != EINTR) break;
        for (size_t i = 0; i < fds.size(); ++i) {
            Link* l = polled[i];
            int rc = MOSQ_ERR_SUCCESS;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) rc = mosquitto_loop_read(l->m, 1);
            if (rc <= 0 && !l->done && (fds[i].revents & POLLOUT)) rc = mosquitto_loop_write(l->m, 1);
            if (rc <= 0 && !l->done) rc = mosquitto_loop_misc(l->m);
            if (rc > 0) l->fail(mqtt::errorText(rc));
        }
    }

    for (auto& l : links) {
        const bool reached = l->done && l->why.isEmpty();
        if (reached)
            out.reached << l->broker.text();
        else if (!l->done && l->connected && l->m && !mosquitto_want_write(l->m))
            out.unacknowledged << l->broker.text();
        else
            out.problems << l->broker.text() + QStringLiteral(": ") +
                                (l->why.isEmpty() ? QStringLiteral("no answer within the bound") : l->why);
        if (!l->m) continue;
        // A polite goodbye where the socket takes it at once; nothing waits for it.
        if (reached) mosquitto_loop_write(l->m, 1);
        mosquitto_destroy(l->m);
    }
    return out;
}

WakePublisher::Outcome WakePublisher::publishWithin(const QList<WakeMessage>& messages, int ms) const {
    if (!m_settings.enabled() || messages.isEmpty()) return {};
    auto task = std::make_shared<std::packaged_task<Outcome()>>(
        [self = *this, messages, ms] { return self.publish(messages, QDeadlineTimer(ms)); });
    std::future<Outcome> answer = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    // A little beyond the publication's own bound, for the thread to start and report.
    if (answer.wait_for(std::chrono::milliseconds(ms + 100)) == std::future_status::ready) return answer.get();
    Outcome late;
    for (const WakeBroker& b : m_settings.brokers)
        late.problems << b.text() + QStringLiteral(": no answer within the bound (the broker's name was not "
                                                   "looked up in time)");
    return late;
}

} // namespace hv
