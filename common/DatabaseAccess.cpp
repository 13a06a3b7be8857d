#include "DatabaseAccess.h"

#include "Failure.h"

#include <QFile>
#include <QFileInfo>

namespace hv {

namespace {

QString usableFile(const char* key, const QString& path) {
    if (path.isEmpty()) throw Failure(code::CannotOpen, QStringLiteral("%1 names no file").arg(QLatin1String(key)));
    if (path.contains(u';') || path.trimmed() != path)
        throw Failure(code::CannotOpen,
                      QStringLiteral("%1 cannot be handed to the client library: %2").arg(QLatin1String(key), path));
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw Failure(code::CannotOpen, QStringLiteral("%1 cannot be read: %2").arg(QLatin1String(key), path));
    return path;
}

} // namespace

QStringList DatabaseAccess::tlsConnectOptions() const {
    if (!tls) return {};
    QStringList options{QStringLiteral("SSL_CA=") + usableFile("MYSQLSSLCA", sslCa)};
    if (!sslCert.isEmpty() || !sslKey.isEmpty()) {
        options << QStringLiteral("SSL_CERT=") + usableFile("MYSQLSSLCERT", sslCert);
        options << QStringLiteral("SSL_KEY=") + usableFile("MYSQLSSLKEY", sslKey);
    }
    return options;
}

} // namespace hv
