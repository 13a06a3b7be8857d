#pragma once

#include "CatalogueDefinition.h"
#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QList>
#include <QStringList>
#include <QVariantList>

namespace hv {

class Connection;

// The rows of one catalogue as its editor walks them: the record set of the whole table in name
// order with the current row, the editor's mode (browsing the rows or adding one), and the writes.
// The table has no key the editor sees (an older site's has none at all, a newer one's is
// invisible), so a row is identified by the values it was read with: a save or delete changes
// exactly that row, and one that another console changed or deleted meanwhile is reported instead
// of overwritten. Each read or write opens its own connection; each write is one transaction that
// is looked for again after its commit (CheckedWrite); failures leave as hv::Failure and leave the
// rows and the mode as they were.
class CatalogueStore {
public:
    CatalogueStore(CatalogueDefinition definition, ServerList servers, DatabaseAccess access = {});

    const CatalogueDefinition& definition() const { return m_definition; }

    // Reads the whole table afresh; the first row becomes current.
    void load();

    int size() const { return int(m_rows.size()); }
    // Before the first row / after the last one (both on an empty table).
    bool bof() const { return m_rows.isEmpty() || m_pos < 0; }
    bool eof() const { return m_rows.isEmpty() || m_pos >= m_rows.size(); }
    void moveNext();
    void movePrevious();

    enum class Edge { None, First, Last };
    // Where the set stands before the first or after the last row, it steps back onto the
    // nearest row and says which end it met; None when it stands on a row.
    Edge settle();

    // The current row, a text per column, NULL as the empty text.
    QStringList current() const;
    // What the editor's fields show of the current row; a value handed back unchanged is written
    // back exactly as stored (NULL stays NULL, a long value stays whole).
    void remember(const QStringList& shown) { m_shown = shown; }

    bool adding() const { return m_adding; }
    void startAdding() { m_adding = true; }
    void stopAdding() { m_adding = false; }

    enum class Outcome { Done, Duplicate, NoRow, ChangedElsewhere };
    // Adds a row unless its name is already there, compared character for character; browsing
    // again when it was added.
    Outcome add(const QStringList& values);
    // Writes the values into the current row.
    Outcome save(const QStringList& values);
    // Deletes the current row.
    Outcome remove();

private:
    QString lockCondition() const;
    // The rows that hold exactly these values, one per column.
    qint64 countOf(Connection& connection, const QVariantList& values) const;
    QVariantList storedValues() const;

    CatalogueDefinition m_definition;
    ServerList m_servers;
    DatabaseAccess m_access;
    QList<QVariantList> m_rows;
    // -1 before the first row, size() after the last.
    int m_pos = -1;
    QStringList m_shown;
    bool m_adding = false;
};

} // namespace hv
