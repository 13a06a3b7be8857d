#pragma once

#include "IniSettings.h"

#include <QByteArray>
#include <QString>

namespace hv {

// halvane.ini lies beside the running executable (its real path, links resolved), so that an
// installed program finds the administrator's file through the link the package puts there.
QString iniFilePath();

// The host name that one line of halvane.ini yields: the first comma-delimited field of the first
// line, trimmed, from its 17th character on. The key text itself is never compared.
QString hostFromIniText(const QByteArray& content);

// Reads the file, once, into everything it says (IniSettings gives the rules): strDataPath from
// the first line, the settings from the others, relative certificate paths from the folder of the
// real file. Throws Failure 53 when the file is missing, 62 when it holds nothing to read, 75 when
// it cannot be read.
IniSettings fncReadINI(const QString& path);

} // namespace hv
