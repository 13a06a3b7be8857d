#pragma once

#include <QString>

namespace hv {

// The settings that every workstation's tray client reads (table traysettings, one row with ID 1;
// no row means off). Failures leave as hv::Failure; a database from before the table existed
// answers with the server's error 1146.
class TraySettingsStore {
public:
    explicit TraySettingsStore(QString connectionString) : m_connectionString(std::move(connectionString)) {}

    bool readAloud();
    void saveReadAloud(bool on);

private:
    QString m_connectionString;
};

} // namespace hv
