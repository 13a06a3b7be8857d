#include "FurtherServers.h"

#include "IniFile.h"

#include <QFile>

namespace hv {

namespace {

const QByteArray kKey = QByteArrayLiteral("MYSQLSERVERNAME=");

// The key must open the line's field: after the blanks, and inside the quote when the field is
// quoted.
bool opensWithKey(const QByteArray& line) {
    qsizetype i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    if (i < line.size() && line[i] == '"') ++i;
    return line.mid(i, kKey.size()) == kKey;
}

} // namespace

QStringList furtherServersFromIniText(const QByteArray& content) {
    QStringList hosts;
    const QList<QByteArray> lines = content.split('\n');
    const QString first = hostFromIniText(content);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!opensWithKey(lines[i])) continue;
        // The first line's own reader, so that both kinds of line read alike.
        const QString host = hostFromIniText(lines[i]);
        if (host.isEmpty() || host.compare(first, Qt::CaseInsensitive) == 0 ||
            hosts.contains(host, Qt::CaseInsensitive))
            continue;
        hosts << host;
    }
    return hosts;
}

QStringList fncReadFurtherServers(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return furtherServersFromIniText(file.read(64 * 1024));
}

} // namespace hv
