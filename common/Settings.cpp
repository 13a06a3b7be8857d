#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace hv {

namespace {

DatabaseAccess accessOf(const Settings& s, const QString& user, const QString& password) {
    DatabaseAccess a;
    // An empty name names no account: the program keeps the fixed one.
    if (!user.isEmpty()) {
        a.user = user;
        a.password = password;
    }
    a.tls = s.tls;
    a.sslCa = s.sslCa;
    a.sslCert = s.sslCert;
    a.sslKey = s.sslKey;
    return a;
}

} // namespace

DatabaseAccess Settings::trayAccess() const {
    return accessOf(*this, morvikUser, morvikPassword);
}

DatabaseAccess Settings::consoleAccess() const {
    return accessOf(*this, halvaneUser, halvanePassword);
}

Settings settingsFromIniText(const QByteArray& content) {
    Settings s;
    struct Key {
        QByteArray name;
        QString* value;
        bool asksForTls;
        bool seen = false;
    };
    Key keys[] = {{"MORVIKUSER=", &s.morvikUser, false},   {"MORVIKPASSWORD=", &s.morvikPassword, false},
                  {"HALVANEUSER=", &s.halvaneUser, false}, {"HALVANEPASSWORD=", &s.halvanePassword, false},
                  {"MYSQLSSLCA=", &s.sslCa, true},         {"MYSQLSSLCERT=", &s.sslCert, true},
                  {"MYSQLSSLKEY=", &s.sslKey, true}};
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) line.chop(1);
        for (Key& key : keys) {
            if (key.seen || !line.startsWith(key.name)) continue;
            key.seen = true;
            *key.value = QString::fromUtf8(line.mid(key.name.size()));
            s.tls = s.tls || key.asksForTls;
        }
    }
    return s;
}

Settings readSettings(const QString& iniPath) {
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    Settings s = settingsFromIniText(file.read(64 * 1024));
    // The package links the file beside the program to /etc/halvane: a relative name means the
    // folder the administrator wrote the file in.
    const QString real = QFileInfo(iniPath).canonicalFilePath();
    const QDir folder = QFileInfo(real.isEmpty() ? iniPath : real).absoluteDir();
    for (QString* path : {&s.sslCa, &s.sslCert, &s.sslKey})
        if (!path->isEmpty() && QDir::isRelativePath(*path)) *path = folder.filePath(*path);
    return s;
}

} // namespace hv
