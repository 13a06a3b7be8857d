#include "CapIntake.h"

#include "CapError.h"

namespace hv {

CapIntake::Action CapIntake::actionFor(const CapAlert& a, bool exercise) {
    if (a.status != u"Actual" && !exercise)
        throw CapError(
            QStringLiteral("<status> is \"%1\"; only Actual alerts are sent unless --exercise is given").arg(a.status));
    if (a.msgType == u"Ack" || a.msgType == u"Error")
        throw CapError(
            QStringLiteral("<msgType> is \"%1\"; halvane-send takes Alert, Update and Cancel messages").arg(a.msgType));
    if (a.msgType == u"Cancel") {
        if (a.references.isEmpty())
            throw CapError(QStringLiteral("<alert> has no <references>: a Cancel must name the alert it cancels"));
        return Action::Cancel;
    }
    if (a.infoCount == 0) throw CapError(QStringLiteral("<alert> has no <info>: its <event> names the code to send"));
    if (a.event.trimmed().isEmpty()) throw CapError(QStringLiteral("<event> is blank"));
    if (a.areaCount == 0)
        throw CapError(QStringLiteral("<info> has no <area>: the <areaDesc> of its first <area> names the location"));
    if (a.areaDesc.trimmed().isEmpty()) throw CapError(QStringLiteral("<areaDesc> is blank"));
    return Action::Submit;
}

QString CapIntake::message(const CapAlert& a, const QString& standingComments) {
    QStringList lines;
    if (!a.headline.isEmpty() && a.headline.trimmed() != a.event.trimmed()) lines << a.headline;
    if (!a.description.isEmpty()) lines << a.description;
    if (!a.instruction.isEmpty() && a.instruction.trimmed() != standingComments.trimmed()) lines << a.instruction;
    return lines.join(u'\n');
}

} // namespace hv
