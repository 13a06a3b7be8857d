#pragma once

#include <QString>

namespace hv {

// The single properties row: the tooltip text of every workstation's tray icon. Failures leave
// as hv::Failure.
class PropertiesStore {
public:
    explicit PropertiesStore(QString connectionString) : m_connectionString(std::move(connectionString)) {}

    // Stores the text in the row the record set would stand on first. False when the database
    // holds no properties row; the programs never add one.
    bool saveToolTipText(const QString& text);

private:
    QString m_connectionString;
};

} // namespace hv
