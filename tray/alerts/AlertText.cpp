#include "alerts/AlertText.h"

#include "Formats.h"

#include <QStringList>
#include <algorithm>

namespace hv::alertText {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

bool blankOnly(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
}

} // namespace

QString block(const PolledAlert& a) {
    if (a.unreadable) return {};
    // Built in one piece: every fleet poll makes these blocks.
    QString block;
    block.reserve(a.codeName.size() + a.codeLocation.size() + a.comments.size() + a.codeMessage.size() + 48);
    if (!a.timeIsNull) block += formatAmPm(a.key.codeTime);
    block += u" - CODE ";
    block += a.codeName;
    block += kCrLf;
    block += u"Location = ";
    block += a.codeLocation;
    block += kCrLf;
    if (!blankOnly(a.comments)) {
        block += a.comments;
        block += kCrLf;
    }
    block += a.codeMessage;
    block += kCrLf;
    return block;
}

QString spoken(const PolledAlert& a) {
    if (a.unreadable) return {};
    QStringList parts;
    for (const QString& part : {a.codeName, QStringLiteral("Location: ") + a.codeLocation, a.codeMessage})
        if (!part.trimmed().isEmpty()) parts << part.trimmed();
    // A pause between the parts, also where one ends without a full stop.
    return parts.join(QStringLiteral(". "));
}

} // namespace hv::alertText
