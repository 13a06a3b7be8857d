#pragma once

#include <QString>
#include <QStringList>

namespace hv {

// One catalogue as the database holds it: its table, the statements of its editor and the columns
// the editor shows, the name first.
struct CatalogueDefinition {
    QString table;
    QString plural; // how the console's messages name the rows: "users", "codes"
    QString mainQuery;
    QString checkQuery; // read for the duplicate check before an add
    QStringList columns;

    const QString& nameColumn() const { return columns.front(); }

    static CatalogueDefinition users();
    static CatalogueDefinition locations();
    static CatalogueDefinition codes();
};

} // namespace hv
