#pragma once

#include <QString>

namespace hv {

// The database password is fixed in both programs: the installer sets the server up with it.
inline constexpr const char* kDatabasePassword = "KTVB58027";

// True only on 64-bit Windows running this program through WOW64; false everywhere else.
bool fncIs64BitWindows();

// The fixed connection string for the server named in halvane.ini. No check of the host here: an
// empty host gives an empty server part, and the connection layer reports it.
QString fncConnectionString(const QString& strDataPath);

} // namespace hv
