#include "AdminTestKit.h"

#include "TestDb.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

AdminKit::AdminKit() {
    ctx.strDataPath = testdb::host();
}

QString box(const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon) {
    static const char* icons[] = {"None", "Information", "Warning", "Critical", "Question"};
    return QStringLiteral("%1 | %2 | %3 | %4")
        .arg(title, text, buttons == hv::Buttons::Ok ? QStringLiteral("Ok") : QStringLiteral("YesNo"),
             QLatin1String(icons[int(icon)]));
}

QStringList shown(const QList<ShownBox>& boxes) {
    QStringList out;
    for (const ShownBox& b : boxes)
        out << box(b.title, b.text, b.buttons, b.icon);
    return out;
}

QString textOf(QWidget* window, const QString& field) {
    QWidget* w = window->findChild<QWidget*>(field);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) return e->toPlainText();
    qFatal("no text field %s in %s", qPrintable(field), qPrintable(window->objectName()));
}

void typeInto(QWidget* window, const QString& field, const QString& text) {
    QWidget* w = window->findChild<QWidget*>(field);
    if (!w) qFatal("no field %s in %s", qPrintable(field), qPrintable(window->objectName()));
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) {
        QTest::mouseClick(e->viewport(), Qt::LeftButton);
        e->selectAll();
        if (!e->toPlainText().isEmpty()) QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
        return;
    }
    QTest::mouseClick(w, Qt::LeftButton);
    auto* e = qobject_cast<QLineEdit*>(w);
    e->selectAll();
    if (!e->text().isEmpty()) QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

void clickButton(QWidget* window, const QString& button) {
    auto* b = window->findChild<QAbstractButton*>(button);
    if (!b) qFatal("no button %s in %s", qPrintable(button), qPrintable(window->objectName()));
    QTest::mouseClick(b, Qt::LeftButton);
}

QString focused() {
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : QStringLiteral("(none)");
}
