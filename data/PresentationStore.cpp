#include "PresentationStore.h"

#include "AlertPresentations.h"
#include "Connection.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

PresentationStore::Picture PresentationStore::read() {
    Picture picture;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        picture = {};
        for (const QSqlRecord& r : connection.select(QStringLiteral("SELECT CodeName FROM codes ORDER BY CodeName")))
            picture.codes << textOf(r.value(0));
        for (const QSqlRecord& r : connection.select(
                 QStringLiteral("SELECT CodeName, %1 FROM codepresentations").arg(AlertPresentations::columns())))
            picture.byCode.insert(textOf(r.value(0)), AlertPresentations::fromRow(r, 1));
    });
    return picture;
}

void PresentationStore::save(const QString& codeName, const AlertPresentation& presentation) {
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        if (presentation.isDefault()) {
            connection.execute(QStringLiteral("DELETE FROM codepresentations WHERE CodeName = ?"), {codeName});
            return;
        }
        connection.execute(QStringLiteral("INSERT INTO codepresentations (CodeName, %1) VALUES (?, ?, ?, ?, ?, ?, ?, "
                                          "?) ON DUPLICATE KEY UPDATE Presentation = VALUES(Presentation), RingMode = "
                                          "VALUES(RingMode), Answer1 = VALUES(Answer1), Answer2 = VALUES(Answer2), "
                                          "Answer3 = VALUES(Answer3), Answer4 = VALUES(Answer4), HelpAnswer = "
                                          "VALUES(HelpAnswer)")
                               .arg(AlertPresentations::columns()),
                           QVariantList{codeName} + AlertPresentations::values(presentation));
    });
}

} // namespace hv
