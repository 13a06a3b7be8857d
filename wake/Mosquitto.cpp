#include "Mosquitto.h"

#include "WakeSettings.h"

#include <QFile>
#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace hv::mqtt {

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errorText(int rc) {
    QString text =
        rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno)) : QString::fromUtf8(mosquitto_strerror(rc));
    // The library's sentences end in a full stop; ours go on after them.
    while (text.endsWith(u'.'))
        text.chop(1);
    return text.isEmpty() ? text : text.left(1).toLower() + text.mid(1);
}

mosquitto* newClient(const WakeSettings& settings, const QByteArray& clientId, void* owner, bool v5, QString* why) {
    initLibrary();
    mosquitto* m = mosquitto_new(clientId.isEmpty() ? nullptr : clientId.constData(), true, owner);
    if (!m) {
        *why = QStringLiteral("the MQTT library could not make a client");
        return nullptr;
    }
    const auto fail = [&](const QString& text) {
        *why = text;
        mosquitto_destroy(m);
        return nullptr;
    };
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_int_option(m, MOSQ_OPT_TCP_NODELAY, 1);
    if (!settings.user.isEmpty()) {
        const QByteArray user = settings.user.toUtf8();
        const QByteArray password = settings.password.toUtf8();
        if (mosquitto_username_pw_set(m, user.constData(), password.constData()) != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("the broker account's name or password cannot be used"));
    }
    if (settings.tls) {
        // Named but unreadable is a connection not made, never one in plain text.
        const QByteArray ca = QFile::encodeName(settings.caFile);
        if (settings.caFile.isEmpty() || !QFile::exists(settings.caFile))
            return fail(QStringLiteral("the broker's authority %1 (MQTTSSLCA=) cannot be read").arg(settings.caFile));
        int rc = mosquitto_tls_set(m, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(m, 1 /* verify the peer */, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(m, false);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(
                QStringLiteral("TLS to the broker cannot be set up with %1: %2").arg(settings.caFile, errorText(rc)));
    }
    return m;
}

} // namespace hv::mqtt
