#pragma once

#include <QString>

class QSqlDatabase;

namespace hv {

// The cipher that protects an open connection, as the client library itself knows it; empty when
// the connection travels in plain text or the library cannot tell. Asking the server instead would
// not do: a machine in the middle that stripped TLS from the client's side can relay the question
// to the real server over a TLS connection of its own.
QString tlsCipher(const QSqlDatabase& db);

} // namespace hv
