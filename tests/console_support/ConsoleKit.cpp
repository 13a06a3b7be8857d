#include "ConsoleKit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

QString ConsoleKit::iniPath() const {
    return dir.filePath(QStringLiteral("halvane.ini"));
}

void ConsoleKit::writeIni(const QByteArray& content) {
    QFile f(iniPath());
    if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(iniPath()));
    f.write(content);
}

hv::MainWindow& ConsoleKit::make() {
    form1 = std::make_unique<hv::MainWindow>(ctx, iniPath());
    return *form1;
}

hv::MainWindow& ConsoleKit::started(const QByteArray& further) {
    writeIni("MYSQLSERVERNAME=" + testdb::host().toLatin1() + "\r\n" + further);
    make();
    form1->load();
    form1->show();
    if (!QTest::qWaitForWindowActive(form1.get())) qFatal("the main window did not become active");
    return *form1;
}

QComboBox* ConsoleKit::list(const char* name) const {
    return form1->findChild<QComboBox*>(QLatin1String(name));
}

void ConsoleKit::choose(const QString& code, const QString& location) {
    for (auto [name, text] : {std::pair{"Combo1", code}, std::pair{"Combo2", location}}) {
        QComboBox* l = list(name);
        const int i = l->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (i < 0) qFatal("%s holds no entry %s", name, qPrintable(text));
        l->setCurrentIndex(i);
    }
}

QStringList ConsoleKit::titles() const {
    QStringList t;
    for (const ShownBox& b : msg.boxes)
        t << b.title;
    return t;
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

void onNextModal(std::function<void(QWidget*)> fn) {
    // The code under test is inside exec() by the time this looks; a timer is the one way in.
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            fn(modal);
        }
    });
    timer->start();
}

void onNextDialog(std::function<void(QDialog*)> fn) {
    onNextModal([fn](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog) qFatal("the modal window %s is no dialog", qPrintable(modal->objectName()));
        fn(dialog);
    });
}

QStringList fileLines(const QString& path, bool* crlfOnly) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    if (crlfOnly) *crlfOnly = bytes.isEmpty() || bytes.endsWith("\r\n");
    QString text = QString::fromUtf8(bytes);
    if (text.isEmpty()) return {};
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QList<QWidget*> topLevels(const QString& name) {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) found << w;
    return found;
}
