#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace hv {
class Clock;
class Connection;
} // namespace hv

// The database side of the main window's "Submit" (Form1): the purge of old live alerts and the
// alert itself, written to `alerts` and `AlertLog`. Failures leave as hv::Failure.
class AlertSubmission {
public:
    explicit AlertSubmission(QString connectionString) : m_connectionString(std::move(connectionString)) {}

    // fncDeleteSevenDayOldRecords: drops the live alerts of earlier days.
    void fncDeleteSevenDayOldRecords(const QDateTime& now);

    struct Alert {
        QString codeName;
        QString codeLocation;
        // Unset when the operator declined a custom message: the column keeps its default.
        std::optional<QString> codeMessage;
    };
    struct Saved {
        QDateTime consoleNow; // the one reading that dated both rows
        QDateTime serverNow;  // the database server's clock at the same moment
        QString comments;
    };

    // Looks up the code's comments and writes both rows, all or nothing.
    Saved save(const Alert& alert, const hv::Clock& clock);

    // fncGetCodeComments: the standing text of a code, trimmed; empty when the code is gone.
    static QString fncGetCodeComments(hv::Connection& connection, const QString& codeName);

private:
    QString m_connectionString;
};
