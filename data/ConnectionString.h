#pragma once

#include "DatabaseNode.h"

#include <QString>

namespace hv {

// The login is fixed in every program: the installer sets the server up with it. A program's own
// account from halvane.ini takes the place of user and password (DatabaseAccess).
inline constexpr const char* kDatabaseName = "halvane";
inline constexpr const char* kDatabaseUser = "root";
inline constexpr const char* kDatabasePassword = "KTVB58027";

// True only on 64-bit Windows running this program through WOW64; false everywhere else.
bool fncIs64BitWindows();

// The fixed connection string for the server named in halvane.ini, as the ODBC driver would be
// handed it. No check of the host here: an empty host gives an empty server part. Connections are
// made from a DatabaseNode and the same fixed values, never from this text.
QString fncConnectionString(const QString& strDataPath);

} // namespace hv
