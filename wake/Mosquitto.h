#pragma once

#include <QByteArray>
#include <QString>

struct mosquitto;

namespace hv {
struct WakeSettings;
}

namespace hv::mqtt {

// libmosquitto set up once per process, whichever client comes first.
void initLibrary();

// A new client with the site's account and, with an authority named, TLS that checks the broker's
// certificate and its name; v5: MQTT 5 (whose acknowledgements say why a broker refused), else
// 3.1.1. Null when the library cannot make one; `why` then says so.
mosquitto* newClient(const WakeSettings& settings, const QByteArray& clientId, void* owner, bool v5, QString* why);

// The library's words for an error number.
QString errorText(int rc);

} // namespace hv::mqtt
