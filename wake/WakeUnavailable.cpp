// A build without the MQTT client library (the Windows one, for now): no program publishes and the
// tray client only polls; what halvane.ini says of brokers is read and left unused.
#include "WakePublisher.h"

namespace hv {

WakePublisher::Outcome WakePublisher::publish(const QList<WakeMessage>&, QDeadlineTimer) const {
    return {};
}

WakePublisher::Outcome WakePublisher::publishWithin(const QList<WakeMessage>&, int) const {
    return {};
}

} // namespace hv
