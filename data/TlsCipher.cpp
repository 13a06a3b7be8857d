#include "TlsCipher.h"

#include <QLibrary>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

namespace hv {

namespace {

using CipherFn = const char* (*)(void*);

// Qt's MySQL driver exposes the client library's connection handle but not this question. The
// library is already loaded by the driver; loading it by name gives the same copy.
CipherFn cipherFunction() {
    static const CipherFn fn = [] {
#ifdef _WIN32
        QLibrary lib(QStringLiteral("libmariadb"));
#else
        QLibrary lib(QStringLiteral("mariadb"), 3);
#endif
        return reinterpret_cast<CipherFn>(lib.resolve("mysql_get_ssl_cipher"));
    }();
    return fn;
}

} // namespace

QString tlsCipher(const QSqlDatabase& db) {
    if (!db.isOpen() || !db.driver()) return {};
    const QVariant handle = db.driver()->handle();
    // MYSQL is a typedef of struct st_mysql; the driver registers the handle under the struct's name.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "MYSQL*") != 0 && qstrcmp(handle.typeName(), "st_mysql*") != 0))
        return {};
    void* mysql = *static_cast<void* const*>(handle.constData());
    const CipherFn fn = cipherFunction();
    if (!mysql || !fn) return {};
    const char* cipher = fn(mysql);
    return cipher ? QString::fromLatin1(cipher) : QString();
}

} // namespace hv
