#include "CapExport.h"

#include "CapTime.h"

#include <QDateTime>

namespace hv {

QString CapExport::identifierFor(const LoggedAlert& row) {
    return QStringLiteral("halvane-%1-%2")
        .arg(row.id)
        .arg(QDateTime(row.codeDate, row.codeTime).toString(u"yyyyMMdd'T'HHmm"));
}

QString CapExport::whyNot(const LoggedAlert& row) {
    if (!row.codeDate.isValid()) return QStringLiteral("it has no date");
    if (!row.codeTime.isValid()) return QStringLiteral("it has no time");
    if (row.codeName.trimmed().isEmpty()) return QStringLiteral("it has no code");
    if (row.codeLocation.trimmed().isEmpty()) return QStringLiteral("it has no location");
    return {};
}

CapAlert CapExport::alertFor(const LoggedAlert& row, const QString& sender) {
    CapAlert a;
    a.identifier = identifierFor(row);
    a.sender = sender;
    a.sent = captime::format(QDateTime(row.codeDate, row.codeTime, Qt::LocalTime));
    // Every logged alert went out to the workstations as a real alert; anyone in the facility
    // sees it on the screens, so nothing restricts who may see it here.
    a.status = QStringLiteral("Actual");
    a.msgType = QStringLiteral("Alert");
    a.scope = QStringLiteral("Public");
    CapAlert::Info info;
    info.categories = {QStringLiteral("Safety")};
    info.event = row.codeName;
    // An alert asks everyone to act while it is on the screens; how grave and how certain it is,
    // the log does not say.
    info.urgency = QStringLiteral("Immediate");
    info.severity = QStringLiteral("Unknown");
    info.certainty = QStringLiteral("Unknown");
    info.headline = row.codeName;
    info.description = row.codeMessage;
    info.instruction = row.comments;
    info.areas = {CapAlert::Area{row.codeLocation, {}}};
    a.infos = {info};
    return a;
}

} // namespace hv
