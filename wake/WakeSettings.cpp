#include "WakeSettings.h"

#include "IniSettings.h"

namespace hv {

namespace {

WakeSettings common(const IniSettings& ini, const QString& user, const QString& password) {
    WakeSettings s;
    s.tls = ini.mqttTls;
    s.caFile = ini.mqttSslCa;
    s.site = ini.mqttSite.isEmpty() ? WakeSettings::defaultSite() : ini.mqttSite;
    for (const QString& text : ini.mqttServers)
        s.brokers << WakeSettings::brokerOf(text, s.tls);
    s.user = user;
    s.password = password;
    return s;
}

} // namespace

QString WakeBroker::text() const {
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("%1:%2").arg(shown).arg(port);
}

QString WakeSettings::topic() const {
    return QStringLiteral("halvane/%1/alerts").arg(site);
}

QString WakeSettings::defaultSite() {
    return QStringLiteral("halvane");
}

WakeSettings WakeSettings::forTray(const IniSettings& ini) {
    return common(ini, ini.morvikMqttUser, ini.morvikMqttPassword);
}

WakeSettings WakeSettings::forConsole(const IniSettings& ini) {
    return common(ini, ini.halvaneMqttUser, ini.halvaneMqttPassword);
}

WakeBroker WakeSettings::brokerOf(const QString& text, bool tls) {
    WakeBroker b;
    b.port = tls ? kTlsPort : kPlainPort;
    QString port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        b.host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else if (text.count(u':') == 1) {
        b.host = text.section(u':', 0, 0);
        port = text.section(u':', 1);
    } else {
        b.host = text;
    }
    if (!port.isEmpty()) b.port = port.toInt();
    return b;
}

} // namespace hv
