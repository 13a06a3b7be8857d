#include "CatalogueStore.h"

#include "CheckedWrite.h"
#include "Connection.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

namespace {

QVariant nullText() {
    return QVariant(QMetaType::fromType<QString>());
}

// Character for character, NULL only equal to NULL.
bool sameValues(const QVariantList& a, const QVariantList& b) {
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].isNull() != b.value(i).isNull()) return false;
        if (!a[i].isNull() && a[i].toString() != b.value(i).toString()) return false;
    }
    return true;
}

} // namespace

CatalogueStore::CatalogueStore(CatalogueDefinition definition, ServerList servers, DatabaseAccess access)
    : m_definition(std::move(definition)), m_servers(std::move(servers)), m_access(std::move(access)) {}

void CatalogueStore::load() {
    QList<QVariantList> rows;
    m_servers.run(consoleConnectionOptions(m_access, true), [&](Connection& connection) {
        rows.clear();
        for (const QSqlRecord& r : connection.select(m_definition.mainQuery)) {
            QVariantList values;
            for (const QString& column : m_definition.columns)
                values.append(r.value(columnIndex(r, column)));
            rows.append(values);
        }
    });
    m_rows = rows;
    m_pos = m_rows.isEmpty() ? -1 : 0;
}

void CatalogueStore::moveNext() {
    if (!eof()) ++m_pos;
}

void CatalogueStore::movePrevious() {
    if (!bof()) --m_pos;
}

CatalogueStore::Edge CatalogueStore::settle() {
    if (bof()) {
        if (!m_rows.isEmpty()) m_pos = 0;
        return Edge::First;
    }
    if (eof()) {
        m_pos = int(m_rows.size()) - 1;
        return Edge::Last;
    }
    return Edge::None;
}

QStringList CatalogueStore::current() const {
    QStringList texts;
    if (bof() || eof()) return texts;
    for (const QVariant& v : m_rows[m_pos])
        texts << textOf(v);
    return texts;
}

QString CatalogueStore::lockCondition() const {
    QStringList parts;
    for (const QString& column : m_definition.columns)
        parts << QStringLiteral("BINARY %1 <=> BINARY ?").arg(column);
    return parts.join(QStringLiteral(" AND "));
}

QVariantList CatalogueStore::storedValues() const {
    QVariantList values;
    for (const QVariant& v : m_rows[m_pos])
        values << (v.isNull() ? nullText() : v);
    return values;
}

qint64 CatalogueStore::countOf(Connection& connection, const QVariantList& values) const {
    return connection
        .select(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(m_definition.table, lockCondition()), values)
        .value(0)
        .value(0)
        .toLongLong();
}

CatalogueStore::Outcome CatalogueStore::add(const QStringList& values) {
    Outcome outcome = Outcome::Done;
    QVariantList binds;
    for (const QString& value : values)
        binds << value;
    qint64 before = 0;
    CheckedWrite change;
    change.write = [&](Connection& connection) {
        // Compared here, character for character: the server's collation would ignore case and
        // trailing spaces.
        const QString& name = values.front();
        outcome = Outcome::Done;
        for (const QSqlRecord& r : connection.select(m_definition.checkQuery)) {
            const QVariant v = r.value(columnIndex(r, m_definition.nameColumn()));
            if (!v.isNull() && v.toString() == name) {
                outcome = Outcome::Duplicate;
                return;
            }
        }
        before = countOf(connection, binds);
        QStringList marks;
        for (qsizetype i = 0; i < values.size(); ++i)
            marks << QStringLiteral("?");
        connection.execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(m_definition.table, m_definition.columns.join(QStringLiteral(", ")),
                                    marks.join(QStringLiteral(", "))),
                           binds);
    };
    change.landed = [&](Connection& connection) {
        return outcome != Outcome::Done || countOf(connection, binds) > before;
    };
    change.run(m_servers, consoleConnectionOptions(m_access, true));
    if (outcome == Outcome::Done) m_adding = false;
    return outcome;
}

CatalogueStore::Outcome CatalogueStore::save(const QStringList& values) {
    if (bof() || eof()) return Outcome::NoRow;
    const QVariantList& stored = m_rows[m_pos];
    QStringList sets;
    QVariantList written;
    for (int i = 0; i < m_definition.columns.size(); ++i) {
        sets << QStringLiteral("%1 = ?").arg(m_definition.columns[i]);
        const bool untouched = i < m_shown.size() && values[i] == m_shown[i];
        written << (untouched ? stored[i] : QVariant(values[i]));
    }
    const QVariantList old = storedValues();
    QVariantList newValues;
    for (const QVariant& v : written)
        newValues << (v.isNull() ? nullText() : v);
    const bool changes = !sameValues(written, stored);
    qint64 matched = 0, before = 0;
    CheckedWrite change;
    change.write = [&](Connection& connection) {
        if (changes) before = countOf(connection, newValues);
        matched = connection.execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3 LIMIT 1")
                                         .arg(m_definition.table, sets.join(QStringLiteral(", ")), lockCondition()),
                                     written + old);
    };
    // A row saved as it was leaves nothing to look for; a changed one is one more row with its new
    // values.
    change.landed = [&](Connection& connection) {
        return matched == 0 || !changes || countOf(connection, newValues) > before;
    };
    change.run(m_servers, consoleConnectionOptions(m_access, true));
    return matched == 0 ? Outcome::ChangedElsewhere : Outcome::Done;
}

CatalogueStore::Outcome CatalogueStore::remove() {
    if (bof() || eof()) return Outcome::NoRow;
    const QVariantList old = storedValues();
    qint64 matched = 0, before = 0;
    CheckedWrite change;
    change.write = [&](Connection& connection) {
        before = countOf(connection, old);
        matched = connection.execute(
            QStringLiteral("DELETE FROM %1 WHERE %2 LIMIT 1").arg(m_definition.table, lockCondition()), old);
    };
    change.landed = [&](Connection& connection) { return matched == 0 || countOf(connection, old) < before; };
    change.run(m_servers, consoleConnectionOptions(m_access, true));
    return matched == 0 ? Outcome::ChangedElsewhere : Outcome::Done;
}

} // namespace hv
