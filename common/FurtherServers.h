#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hv {

// The nodes of a database cluster that halvane.ini names after its first line: every further line
// of the form "MYSQLSERVERNAME=host", the key compared exactly, the line read by the first line's
// rules (blanks around it, CR LF, a comma or quotes). Lines with anything else, an empty host and a
// host already named are left out; the first line itself is never among them.
QStringList furtherServersFromIniText(const QByteArray& content);

// The same from the file; a file that cannot be read names no further server (the first line's
// reader has already said what is wrong with it).
QStringList fncReadFurtherServers(const QString& path);

} // namespace hv
