#include "ConnectionString.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace hv {

bool fncIs64BitWindows() {
#ifdef _WIN32
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (!kernel) return false;
    // Through the generic function type: GetProcAddress cannot know the real one.
    auto fn =
        reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
    if (!fn) return false;
    BOOL wow64 = FALSE;
    if (!fn(GetCurrentProcess(), &wow64)) return false;
    return wow64 != FALSE;
#else
    return false;
#endif
}

QString fncConnectionString(const QString& strDataPath) {
    QString s = fncIs64BitWindows() ? QStringLiteral("Provider=MSDASQL;Driver={MySQL ODBC 5.1 Driver};Server=")
                                    : QStringLiteral("Driver={MySQL ODBC 5.1 Driver};Server=");
    s += strDataPath;
    s += QStringLiteral(";Port=") + QString::number(kDatabasePort);
    s += QStringLiteral(";Database=") + QLatin1String(kDatabaseName);
    s += QStringLiteral("; User=") + QLatin1String(kDatabaseUser);
    s += QStringLiteral(";Password=") + QLatin1String(kDatabasePassword);
    s += QStringLiteral(";Option=3;");
    return s;
}

} // namespace hv
