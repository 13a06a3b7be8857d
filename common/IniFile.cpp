#include "IniFile.h"

#include "Failure.h"
#include "Strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hv {

QString iniFilePath() {
    QString exe = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (exe.isEmpty()) exe = QCoreApplication::applicationFilePath();
    return QDir(QFileInfo(exe).absolutePath()).filePath(QStringLiteral("halvane.ini"));
}

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

} // namespace

QString hostFromIniText(const QByteArray& content) {
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    // Windows editors end the line in CR LF; neither character may reach the host name.
    qsizetype end = bytes.indexOf('\n');
    QByteArray lineBytes = end < 0 ? bytes : bytes.left(end);
    if (qsizetype cr = lineBytes.indexOf('\r'); cr >= 0) lineBytes.truncate(cr);
    const QString line = QString::fromUtf8(lineBytes);

    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    QString field;
    if (i < line.size() && line[i] == u'"') {
        const qsizetype close = line.indexOf(u'"', i + 1);
        field = close < 0 ? line.mid(i + 1) : line.mid(i + 1, close - i - 1);
    } else {
        const qsizetype comma = line.indexOf(u',', i);
        field = comma < 0 ? line.mid(i) : line.mid(i, comma - i);
    }
    return trimmedOf(field, u" \t").mid(16);
}

IniSettings fncReadINI(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // A link whose target is missing (the package's link to /etc before the administrator
        // wrote the file) is a missing file too.
        if (!QFileInfo(path).exists())
            throw Failure(code::FileNotFound, QStringLiteral("File not found: %1").arg(path));
        throw Failure(code::PathFileAccess, QStringLiteral("Path/File access error: %1").arg(path));
    }
    // A sane file is tiny; a bounded read keeps a wrong file (a log, a device) from holding up
    // the start.
    constexpr qsizetype kLimit = 64 * 1024;
    QByteArray content = file.read(kLimit + 1);
    file.close();
    // Beyond the bound, the line cut in two is not read at all rather than read in part.
    bool cut = false;
    if (content.size() > kLimit) {
        content.truncate(kLimit);
        if (const qsizetype lastEnd = content.lastIndexOf('\n'); lastEnd >= 0) {
            content.truncate(lastEnd + 1);
            cut = true;
        }
    }
    if (content.startsWith("\xEF\xBB\xBF")) content.remove(0, 3);
    if (content.isEmpty()) throw Failure(code::InputPastEnd, QStringLiteral("Input past end of file: %1").arg(path));
    // The package links the file beside the program to /etc/halvane: a relative name means the
    // folder the administrator wrote the file in.
    const QString real = QFileInfo(path).canonicalFilePath();
    IniSettings settings =
        IniSettings::fromText(content, QFileInfo(real.isEmpty() ? path : real).absoluteDir().absolutePath());
    if (cut)
        settings.problems.append({int(content.count('\n')) + 1,
                                  QStringLiteral("the file is longer than %1 bytes: this line and all after it are "
                                                 "not read.")
                                      .arg(kLimit)});
    return settings;
}

} // namespace hv
