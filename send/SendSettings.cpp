#include "SendSettings.h"

#include "IniFile.h"
#include "Settings.h"

#include <QFile>

namespace hv {

SendSettings SendSettings::read(const QString& path) {
    SendSettings s;
    s.host = fncReadINI(path);
    QFile file(path);
    // fncReadINI has just read it; a file that vanished since simply has no setting.
    if (file.open(QIODevice::ReadOnly)) s.capSender = capSenderFromIniText(file.read(64 * 1024));
    s.access = readSettings(path).consoleAccess();
    return s;
}

QString SendSettings::capSenderFromIniText(const QByteArray& content) {
    const QList<QByteArray> lines = content.split('\n');
    // The first line belongs to the server's name, whatever it says.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.startsWith(QLatin1String("CAPSENDER="), Qt::CaseInsensitive)) return line.mid(10).trimmed();
    }
    return {};
}

QString SendSettings::sender() const {
    if (!capSender.isEmpty()) return capSender;
    const QString server = host.trimmed();
    return server.isEmpty() ? QStringLiteral("halvane") : QStringLiteral("halvane@") + server;
}

} // namespace hv
