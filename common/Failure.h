#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace hv {

// The failure numbers on which every handler of both programs dispatches. The database layer
// reports its own errors with the first four; the others come from files, pictures and printers.
namespace code {
inline constexpr qint64 LoginRefused = -2147217843;     // the server refused the login
inline constexpr qint64 CannotOpen = -2147467259;       // the data source cannot be reached or opened
inline constexpr qint64 PermissionDenied = -2147217911; // the server denied the operation
inline constexpr qint64 NoCurrentRow = 3021;            // a row was read where there is none
inline constexpr qint64 ItemNotFound = 3265;            // a row was asked for a column it lacks
inline constexpr qint64 FileNotFound = 53;
inline constexpr qint64 InputPastEnd = 62;
inline constexpr qint64 PathFileAccess = 75;
inline constexpr qint64 InvalidPicture = 481;
inline constexpr qint64 PrinterError = 482;
inline constexpr qint64 Unexpected = 5;
} // namespace code

class Failure : public std::exception {
public:
    explicit Failure(qint64 number, QString description = {}, int nativeCode = 0);

    qint64 number() const { return m_number; }
    const QString& description() const { return m_description; }
    int nativeCode() const { return m_native; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_description;
    int m_native;
    QByteArray m_what;
};

} // namespace hv
