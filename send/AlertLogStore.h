#pragma once

#include "DatabaseAccess.h"
#include "LoggedAlert.h"

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

namespace hv {

// Reads the alert log for the export, newest first as the reports list it, and hands each row on
// as it arrives, so that years of alerts never have to be held at once. Failures leave as
// hv::Failure.
class AlertLogStore {
public:
    explicit AlertLogStore(QString connectionString, DatabaseAccess access = {})
        : m_connectionString(std::move(connectionString)), m_access(std::move(access)) {}

    // The rows dated on or after since (all rows without it).
    void forEach(const std::optional<QDate>& since, const std::function<void(const LoggedAlert&)>& fn);

private:
    QString m_connectionString;
    DatabaseAccess m_access;
};

} // namespace hv
