#include "MessageText.h"

namespace hv {

qsizetype MessageText::fit(QString& message) {
    if (message.size() <= kMaxLength) return 0;
    const qsizetype given = message.size();
    message.truncate(kMaxLength);
    if (message.back().isHighSurrogate()) message.chop(1);
    return given;
}

QString MessageText::cutWarning(qsizetype given, qsizetype kept) {
    return QStringLiteral("the message has %1 characters; the alert was stored with its first %2, all that the "
                          "message column holds")
        .arg(given)
        .arg(kept);
}

} // namespace hv
