// The keyboard of the main window's lists and of the custom message window, without a server.
#include "ConsoleKit.h"
#include "mainwindow/CustomMessageDialog.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class TestConsoleKeys : public QObject {
    Q_OBJECT

    ConsoleKit kit;
    ScriptedMessagePort& msg = kit.msg;
    ScriptedExit& exit = kit.exit;

    void sendText(QWidget* w, const QString& text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, text, Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, text, Qt::NoModifier);
    }

private slots:
    void init() { msg.boxes.clear(); }

    void typingIntoTheListsIsRefused() {
        hv::MainWindow form1(kit.ctx, QStringLiteral("/nonexistent/halvane.ini"));
        form1.show();
        QVERIFY(QTest::qWaitForWindowActive(&form1));
        for (const char* name : {"Combo1", "Combo2"}) {
            auto* list = form1.findChild<QComboBox*>(QLatin1String(name));
            list->addItems({QStringLiteral("Code Red"), QString()});
            list->setCurrentIndex(0);
            list->setFocus();

            // A letter, a digit, a blank, punctuation and the top of the refused range (190, ¾).
            for (const QString& typed : {QStringLiteral("x"), QStringLiteral("7"), QStringLiteral(" "),
                                         QStringLiteral("~"), QString(QChar(190))}) {
                msg.boxes.clear();
                sendText(list, typed);
                QCOMPARE(msg.boxes.size(), 1);
                QCOMPARE(msg.boxes[0].title, QStringLiteral("Error - Can't Type Here"));
                QCOMPARE(msg.boxes[0].text,
                         QStringLiteral("You can't type here. You can only select an item from the list."));
                QCOMPARE(msg.boxes[0].buttons, hv::Buttons::Ok);
                QCOMPARE(msg.boxes[0].icon, hv::Icon::Information);
                QCOMPARE(list->currentText(), QStringLiteral("Code Red"));
            }

            // From 191 on (¿, é) characters pass, and so do the editing keys.
            msg.boxes.clear();
            list->lineEdit()->end(false);
            sendText(list, QString(QChar(191)));
            sendText(list, QStringLiteral("é"));
            QCOMPARE(list->currentText(), QStringLiteral("Code Red¿é"));
            QTest::keyClick(list, Qt::Key_Backspace);
            QCOMPARE(list->currentText(), QStringLiteral("Code Red¿"));
            QTest::keyClick(list, Qt::Key_Home);
            QTest::keyClick(list, Qt::Key_Delete);
            QCOMPARE(list->currentText(), QStringLiteral("ode Red¿"));
            QVERIFY(msg.boxes.isEmpty());

            // Alt with a letter is a menu key: nothing typed, no box.
            QTest::keyClick(list, Qt::Key_E, Qt::AltModifier);
            QCOMPARE(list->currentText(), QStringLiteral("ode Red¿"));
            QVERIFY(msg.boxes.isEmpty());
        }
        // Enter in the code list does nothing: no purge, no box, no new entry.
        auto* codes = form1.findChild<QComboBox*>(QStringLiteral("Combo1"));
        QTest::keyClick(codes, Qt::Key_Return);
        QTest::keyClick(codes, Qt::Key_Enter);
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(codes->count(), 2);
        QCOMPARE(exit.ends, 0);
    }

    void form7LooksAsDocumented() {
        hv::CustomMessageDialog form7;
        form7.show();
        QVERIFY(QTest::qWaitForWindowActive(&form7));
        QCOMPARE(form7.objectName(), QStringLiteral("Form7"));
        QCOMPARE(form7.windowTitle(), QStringLiteral("Custom Code Message"));
        auto* text1 = form7.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        auto* ok = form7.findChild<QPushButton*>(QStringLiteral("command1"));
        QVERIFY(text1 && ok);
        QCOMPARE(text1->toolTip(),
                 QStringLiteral("Type your custom message. You can't use the Enter key. Max is 600 Characters"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(ok->toolTip(), QStringLiteral("Click here to save this record"));
        QVERIFY(text1->toPlainText().isEmpty());
        QCOMPARE(QApplication::focusWidget(), text1);
    }

    void form7EnterSavesWhatWasTyped() {
        for (Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
            hv::CustomMessageDialog form7;
            form7.show();
            QVERIFY(QTest::qWaitForWindowActive(&form7));
            auto* text1 = form7.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
            QTest::keyClicks(text1, QStringLiteral("Use the \"east\" stairs, don't run"));
            QTest::keyClick(text1, enter);
            QVERIFY(!form7.isVisible());
            QCOMPARE(form7.result(), int(QDialog::Accepted));
            QCOMPARE(form7.message(), QStringLiteral("Use the \"east\" stairs, don't run"));
            QVERIFY(!text1->toPlainText().contains(u'\n'));
        }
    }

    void form7ClosedByTheTitleBarKeepsNothing() {
        hv::CustomMessageDialog form7;
        form7.show();
        QVERIFY(QTest::qWaitForWindowActive(&form7));
        QTest::keyClicks(form7.findChild<QPlainTextEdit*>(QStringLiteral("Text1")), QStringLiteral("half typed"));
        form7.close();
        QCOMPARE(form7.message(), QString());
        // A fresh window starts empty.
        hv::CustomMessageDialog again;
        QVERIFY(again.findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText().isEmpty());
    }

    void form7HoldsSixHundredCharactersTypedOrPasted() {
        hv::CustomMessageDialog form7;
        form7.show();
        QVERIFY(QTest::qWaitForWindowActive(&form7));
        auto* text1 = form7.findChild<QPlainTextEdit*>(QStringLiteral("Text1"));

        // Pasted Windows line ends arrive as one line break each.
        QApplication::clipboard()->setText(QStringLiteral("Line one\r\nLine 'two'\r\n"));
        text1->paste();
        QCOMPARE(text1->toPlainText(), QStringLiteral("Line one\nLine 'two'\n"));

        // A paste that does not fit is cut at the limit; typing beyond it is refused.
        QApplication::clipboard()->setText(QString(700, u'x'));
        text1->paste();
        QCOMPARE(text1->toPlainText().size(), 600);
        QTest::keyClicks(text1, QStringLiteral("yz"));
        QCOMPARE(text1->toPlainText().size(), 600);
        QVERIFY(!text1->toPlainText().contains(u'y'));

        // Replacing a selection makes room again.
        QTest::keyClick(text1, Qt::Key_Backspace);
        QTest::keyClicks(text1, QStringLiteral("!"));
        QCOMPARE(text1->toPlainText().size(), 600);
        QVERIFY(text1->toPlainText().endsWith(u'!'));

        // The button is not a default that Enter could reach.
        auto* ok = form7.findChild<QPushButton*>(QStringLiteral("command1"));
        QVERIFY(!ok->autoDefault() && !ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(form7.message().size(), 600);
        QVERIFY(form7.message().startsWith(QStringLiteral("Line one\nLine 'two'\nxxx")));
    }
};

QTEST_MAIN(TestConsoleKeys)
#include "tst_console_keys.moc"
