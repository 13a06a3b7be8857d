#include "stores/CatalogueStore.h"

#include "Connection.h"
#include "stores/ConsoleBounds.h"

#include <QSqlRecord>

namespace hv {

namespace {

QVariant nullText() {
    return QVariant(QMetaType::fromType<QString>());
}

} // namespace

CatalogueStore::CatalogueStore(CatalogueSpec spec, QString connectionString, DatabaseAccess access)
    : m_spec(std::move(spec)), m_connectionString(std::move(connectionString)), m_access(std::move(access)) {}

void CatalogueStore::load() {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access, true));
    QList<QVariantList> rows;
    for (const QSqlRecord& r : connection.select(m_spec.mainQuery)) {
        QVariantList values;
        for (const QString& column : m_spec.columns)
            values.append(r.value(columnIndex(r, column)));
        rows.append(values);
    }
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
    for (const QString& column : m_spec.columns)
        parts << QStringLiteral("BINARY %1 <=> BINARY ?").arg(column);
    return parts.join(QStringLiteral(" AND "));
}

QVariantList CatalogueStore::storedValues() const {
    QVariantList values;
    for (const QVariant& v : m_rows[m_pos])
        values << (v.isNull() ? nullText() : v);
    return values;
}

CatalogueStore::Outcome CatalogueStore::add(const QStringList& values) {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access, true));
    // Compared here, character for character: the server's collation would ignore case and
    // trailing spaces.
    const QString& name = values.front();
    for (const QSqlRecord& r : connection.select(m_spec.checkQuery)) {
        const QVariant v = r.value(columnIndex(r, m_spec.nameColumn()));
        if (!v.isNull() && v.toString() == name) return Outcome::Duplicate;
    }
    QStringList marks;
    QVariantList binds;
    for (const QString& value : values) {
        marks << QStringLiteral("?");
        binds << value;
    }
    connection.execute(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(m_spec.table, m_spec.columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        binds);
    m_adding = false;
    return Outcome::Done;
}

CatalogueStore::Outcome CatalogueStore::save(const QStringList& values) {
    if (bof() || eof()) return Outcome::NoRow;
    const QVariantList& stored = m_rows[m_pos];
    QStringList sets;
    QVariantList binds;
    for (int i = 0; i < m_spec.columns.size(); ++i) {
        sets << QStringLiteral("%1 = ?").arg(m_spec.columns[i]);
        const bool untouched = i < m_shown.size() && values[i] == m_shown[i];
        binds << (untouched ? stored[i] : QVariant(values[i]));
    }
    binds << storedValues();
    Connection connection(m_connectionString, consoleConnectionOptions(m_access, true));
    const qint64 matched = connection.execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3 LIMIT 1")
                                                  .arg(m_spec.table, sets.join(QStringLiteral(", ")), lockCondition()),
                                              binds);
    return matched == 0 ? Outcome::ChangedElsewhere : Outcome::Done;
}

CatalogueStore::Outcome CatalogueStore::remove() {
    if (bof() || eof()) return Outcome::NoRow;
    Connection connection(m_connectionString, consoleConnectionOptions(m_access, true));
    const qint64 matched = connection.execute(
        QStringLiteral("DELETE FROM %1 WHERE %2 LIMIT 1").arg(m_spec.table, lockCondition()), storedValues());
    return matched == 0 ? Outcome::ChangedElsewhere : Outcome::Done;
}

} // namespace hv
