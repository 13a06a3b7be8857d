#include "DesktopSession.h"
#include "popup/DesktopPopup.h"
#include "popup/FullScreenWindow.h"
#include "popup/PopupWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

namespace {

DesktopSession* g_session = nullptr;

// The user's own window under the popup: it remembers where it was clicked.
class BelowWindow : public QWidget {
public:
    BelowWindow() {
        setObjectName("Below");
        setWindowTitle("Below");
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(40, 90, 200));
        setPalette(pal);
        setAutoFillBackground(true);
        edit = new QLineEdit(this);
        edit->setObjectName("Typing");
        edit->setGeometry(10, 10, 200, 24);
    }
    QLineEdit* edit;
    QList<QPoint> clicks; // global positions

protected:
    void mousePressEvent(QMouseEvent* e) override { clicks << e->globalPosition().toPoint(); }
};

QString focusedWindow() {
    return g_session->run("xdotool", {"getwindowfocus"});
}

void click(const QPoint& global) {
    g_session->run("xdotool", {"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
    QTest::qWait(300);
}

// The top-level windows the window manager lists in task bars and window switchers.
QList<WId> managedWindows() {
    QList<WId> ids;
    const QString out = g_session->run("xprop", {"-root", "_NET_CLIENT_LIST"});
    auto it = QRegularExpression("0x[0-9a-fA-F]+").globalMatch(out.section('#', 1));
    while (it.hasNext())
        ids << WId(it.next().captured(0).toULongLong(nullptr, 16));
    return ids;
}

QImage screen() {
    QTemporaryDir dir;
    const QString png = dir.filePath("s.png");
    if (!g_session->screenshot(png)) return {};
    return QImage(png).convertToFormat(QImage::Format_RGB32);
}

} // namespace

// frmPopup on a real X server with openbox: shape, place, focus and clicks as a user meets them.
class TestPopupDesktop : public QObject {
    Q_OBJECT

    std::unique_ptr<BelowWindow> m_below;
    const QRect m_expected{1280 - 380 - 60, 800 - 120 - 30, 380, 120};

    // The balloon as drawn on the screen: its outline on top, the yellow strip between the label
    // and the outline, and text in the label.
    bool balloonOnTop(const QString& keepAs = {}) {
        const QImage shot = screen();
        if (shot.isNull()) return false;
        if (!keepAs.isEmpty()) {
            const QString keep =
                qEnvironmentVariable("HALVANE_BINARY_DIR", QDir::tempPath()) + "/test-artifacts/" + keepAs;
            QDir().mkpath(QFileInfo(keep).path());
            shot.save(keep);
        }
        auto at = [&](int x, int y) { return QColor(shot.pixel(m_expected.topLeft() + QPoint(x, y))); };
        int dark = 0;
        for (int x = 2; x < 378; ++x) {
            if (at(x, 0) != QColor(0, 0, 0)) return false;
            for (int y = 89; y < 95; ++y)
                if (at(x, y) != QColor(255, 255, 0)) return false;
        }
        for (int y = 6; y < 40; ++y)
            for (int x = 10; x < 200; ++x)
                dark += qGray(at(x, y).rgb()) < 128;
        return dark > 50;
    }

    void focusBelow() {
        m_below->show();
        m_below->activateWindow();
        m_below->raise();
        // A loaded machine can take longer than the default five seconds to hand over the activation.
        QVERIFY(QTest::qWaitForWindowActive(m_below.get(), 20000));
        m_below->edit->setFocus();
        QTRY_COMPARE(focusedWindow(), QString::number(m_below->winId()));
    }

private slots:
    void initTestCase() {
        m_below = std::make_unique<BelowWindow>();
        m_below->setGeometry(600, 450, 660, 330); // under the whole popup
        focusBelow();
    }

    void placedBottomRightAndSized() {
        QCOMPARE(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1280, 800));
        hv::DesktopPopup popup;
        popup.showAlerts("Code Red", m_below.get());
        hv::PopupWindow* w = popup.window();
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->objectName(), QString("frmPopup"));
        QCOMPARE(w->Caller(), m_below.get());

        // Where the X server has it, not where Qt believes it is.
        const QString info = g_session->run("xwininfo", {"-id", QString::number(w->winId())});
        auto value = [&](const char* key) {
            return QRegularExpression(QString("%1:\\s*(-?\\d+)").arg(key)).match(info).captured(1).toInt();
        };
        QCOMPARE(QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")),
                 m_expected);
        QVERIFY2(info.contains("Map State: IsViewable"), qPrintable(info));

        QCOMPARE(w->findChild<QLabel*>("imgBalloon")->geometry(), QRect(0, 0, 380, 120));
        QCOMPARE(w->findChild<QLabel*>("lblMsg")->geometry(), QRect(10, 6, 339, 82));
        QCOMPARE(w->findChild<QLabel*>("imgDismiss")->geometry(), QRect(356, 8, 17, 15));
        QCOMPARE(w->findChild<QLabel*>("lblMsg")->text(), QString("Code Red"));

        // What a screen reader reads of it.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), QString("Code Red"));
        popup.showAlerts("Code Blue\r\nLocation = Lobby\r\n", m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        QCOMPARE(QAccessible::queryAccessibleInterface(popup.window())->text(QAccessible::Name),
                 QString("Code Blue\r\nLocation = Lobby\r\n"));
    }

    void neverTakesTheFocusAndClosesOnAClick() {
        focusBelow();
        const QString before = focusedWindow();
        hv::DesktopPopup popup;
        popup.showAlerts("Code Red\nMain building\n10:05 AM", m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        QTest::qWait(500);
        QCOMPARE(focusedWindow(), before);
        QCOMPARE(QApplication::focusWidget(), m_below->edit);

        // On the balloon's text: the popup goes, the focus stays where it was.
        QPointer<hv::PopupWindow> w = popup.window();
        click(m_expected.topLeft() + QPoint(150, 50));
        QTRY_VERIFY(w.isNull());
        QVERIFY(!popup.isOpen());
        QCOMPARE(focusedWindow(), before);
        QCOMPARE(QApplication::focusWidget(), m_below->edit);
        QVERIFY(m_below->clicks.isEmpty());
    }

    void anotherProgramKeepsTheFocus() {
        QProcess* other = g_session->launch("xmessage", {"-geometry", "+100+100", "typing here"});
        QVERIFY2(other, "xmessage is not installed (run scripts/setup)");
        QString otherWindow;
        QTRY_VERIFY((otherWindow =
                         g_session->run("xdotool", {"search", "--sync", "--name", "^xmessage$"}).section('\n', 0, 0)) !=
                    "");
        g_session->run("xdotool", {"windowactivate", "--sync", otherWindow});
        QTRY_COMPARE(focusedWindow(), otherWindow);

        hv::DesktopPopup popup;
        popup.showAlerts("Code Red", nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        QTest::qWait(500);
        QCOMPARE(focusedWindow(), otherWindow);
        QPointer<hv::PopupWindow> w = popup.window();
        click(m_expected.topLeft() + QPoint(150, 50));
        QTRY_VERIFY(w.isNull());
        QCOMPARE(focusedWindow(), otherWindow);
        other->kill();
        other->waitForFinished(3000);
    }

    void dismissPictureAndTailClose() {
        for (const QPoint at : {QPoint(364, 15), QPoint(314, 110)}) {
            hv::DesktopPopup popup;
            popup.showAlerts("Code Red", m_below.get());
            QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
            QPointer<hv::PopupWindow> w = popup.window();
            click(m_expected.topLeft() + at);
            QTRY_VERIFY2(w.isNull(), qPrintable(QString("still open after a click at %1,%2").arg(at.x()).arg(at.y())));
        }
        QVERIFY(m_below->clicks.isEmpty());
    }

    void outsideTheBalloonIsSeeThroughAndPassesClicks() {
        m_below->clicks.clear();
        hv::DesktopPopup popup;
        popup.showAlerts("Code Red", m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        QTest::qWait(300);

        // Below the box, left of the tail; and left of the tail's slanted edge.
        const QList<QPoint> outside{m_expected.topLeft() + QPoint(100, 110), m_expected.topLeft() + QPoint(299, 115)};
        const QImage shot = screen();
        QVERIFY(!shot.isNull());
        for (const QPoint& p : outside)
            QCOMPARE(QColor(shot.pixel(p)), QColor(40, 90, 200));
        QCOMPARE(QColor(shot.pixel(m_expected.topLeft() + QPoint(200, 90))), QColor(255, 255, 0));
        QCOMPARE(QColor(shot.pixel(m_expected.topLeft() + QPoint(200, 0))), QColor(0, 0, 0));

        for (const QPoint& p : outside)
            click(p);
        QTRY_COMPARE(m_below->clicks, outside);
        QVERIFY2(popup.isOpen(), "a click outside the balloon must not close the popup");
    }

    void longTextWrapsAndIsCutAtTheLabelsBottom() {
        hv::DesktopPopup popup;
        QString text = "Code Red <b>not bold</b> & <i>plain</i>\nLocation: Main building, second floor\n10:05 AM\n";
        for (int i = 0; i < 40; ++i)
            text += QString("Proceed to your fire watch location number %1 and wait for instructions. ").arg(i);
        popup.showAlerts(text, m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        QTest::qWait(300);

        const QString keep =
            qEnvironmentVariable("HALVANE_BINARY_DIR", QDir::tempPath()) + "/test-artifacts/frmPopup.png";
        QDir().mkpath(QFileInfo(keep).path());
        QVERIFY(g_session->screenshot(keep));
        qInfo("screenshot kept at %s", qPrintable(keep));
        const QImage shot = QImage(keep).convertToFormat(QImage::Format_RGB32);

        // The window does not grow, and no text is drawn past the label: the strip between the
        // label's bottom (row 88) and the box's outline (row 95) and the margin right of the
        // label stay plain yellow.
        QCOMPARE(popup.window()->size(), QSize(380, 120));
        auto dark = [&](int x, int y) { return qGray(shot.pixel(m_expected.topLeft() + QPoint(x, y))) < 128; };
        int darkInLabel = 0, darkBelow = 0, darkRight = 0;
        QSet<int> textRows;
        for (int y = 6; y < 88; ++y)
            for (int x = 10; x < 349; ++x)
                if (dark(x, y)) {
                    ++darkInLabel;
                    textRows.insert(y);
                }
        for (int y = 89; y < 95; ++y)
            for (int x = 1; x < 379; ++x)
                darkBelow += dark(x, y);
        for (int y = 25; y < 88; ++y)
            for (int x = 350; x < 379; ++x)
                darkRight += dark(x, y);
        QVERIFY2(darkInLabel > 500, "the text is not drawn");
        QVERIFY2(textRows.size() > 50, "the text does not fill the label's lines");
        QCOMPARE(darkBelow, 0);
        QCOMPARE(darkRight, 0);
    }

    // Four live alerts, newest first, do not fit: the whole blocks that do are shown and the last
    // line counts the rest, inside the label.
    void severalAlertsShowTheNewestFirstAndCountTheRest() {
        QStringList blocks;
        for (int i = 4; i >= 1; --i)
            blocks << QString("10:0%1 AM - CODE Code %1\r\nLocation = Wing %1\r\nGo to your fire watch place.\r\n"
                              "Message %1\r\n")
                          .arg(i);
        hv::DesktopPopup popup;
        popup.showBlocks(blocks, m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        const QString shown = popup.window()->message();
        qsizetype whole = 0;
        while (whole < blocks.size() && shown.startsWith(blocks.mid(0, whole + 1).join(QString())))
            ++whole;
        QVERIFY2(whole >= 1 && whole < blocks.size(), qPrintable(shown));
        QCOMPARE(shown, blocks.mid(0, whole).join(QString()) + hv::PopupWindow::moreLine(int(blocks.size() - whole)));
        QCOMPARE(popup.window()->size(), QSize(380, 120));

        QTest::qWait(300);
        const QString keep =
            qEnvironmentVariable("HALVANE_BINARY_DIR", QDir::tempPath()) + "/test-artifacts/frmPopup-several.png";
        QVERIFY(g_session->screenshot(keep));
        const QImage shot = QImage(keep).convertToFormat(QImage::Format_RGB32);
        int darkBelow = 0;
        for (int y = 89; y < 95; ++y)
            for (int x = 1; x < 379; ++x)
                darkBelow += qGray(shot.pixel(m_expected.topLeft() + QPoint(x, y))) < 128;
        QVERIFY2(darkBelow == 0, "the count of the other alerts is cut off");

        // All of them fit: no count.
        popup.showBlocks(blocks.mid(0, 1), m_below.get());
        QCOMPARE(popup.window()->message(), blocks.front());
    }

    // One monitor: the emergency covers the user's full-screen window and the balloon, takes the
    // focus, and goes with its answer.
    void fullScreenAlertCoversEverythingAndTakesTheFocus() {
        m_below->showFullScreen();
        m_below->activateWindow();
        QTRY_COMPARE(m_below->geometry(), QRect(0, 0, 1280, 800));
        hv::PolledAlert alert;
        alert.codeName = "Code Red";
        alert.codeLocation = "East Wing";
        alert.comments = "Go to your fire-watch places.";
        alert.presentation.fullScreen = true;
        alert.presentation.answers = QStringList{"Acknowledge"};
        hv::DesktopPopup popup;
        std::optional<QString> answered;
        popup.setFullScreenClosed([&](const hv::AlertKey&, const QString& a) { answered = a; });
        popup.showBlocks({"10:05 AM - CODE Code Blue\r\nLocation = Lobby\r\n"}, m_below.get());
        popup.showFullScreen(alert, 0, m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.fullScreenWindows().front()));
        hv::FullScreenWindow* w = popup.fullScreenWindows().front();
        QCOMPARE(popup.fullScreenWindows().size(), 1);
        QTRY_COMPARE(focusedWindow(), QString::number(w->winId()));
        QCOMPARE(w->geometry(), QRect(0, 0, 1280, 800));
        // Shown again by the next poll, after a new balloon: the same window, back on top.
        popup.showBlocks({"10:05 AM - CODE Code Blue\r\nLocation = Lobby\r\n"}, m_below.get());
        popup.showFullScreen(alert, 0, m_below.get());
        QCOMPARE(popup.fullScreenWindows().front(), w);
        QTest::qWait(500);
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR", QDir::tempPath()) + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY(g_session->screenshot(dir + "/frmFullScreen.png"));
        const QImage shot = QImage(dir + "/frmFullScreen.png").convertToFormat(QImage::Format_RGB32);
        for (const QPoint& p : {QPoint(5, 5), m_expected.topLeft() + QPoint(200, 50)})
            QCOMPARE(QColor(shot.pixel(p)), QColor(160, 0, 0));

        QPushButton* button = w->answerButtons().front();
        QCOMPARE(button->text(), QString("Acknowledge"));
        click(button->mapToGlobal(button->rect().center()));
        QTRY_COMPARE(answered, std::optional<QString>("Acknowledge"));
        QVERIFY(!popup.isFullScreenOpen());
        m_below->showNormal();
        m_below->setGeometry(600, 450, 660, 330);
    }

    void staysAboveWindowsRaisedActivatedOrFullScreen() {
        focusBelow();
        hv::DesktopPopup popup;
        popup.showAlerts("Code Red\nLocation = Lobby", m_below.get());
        QVERIFY(QTest::qWaitForWindowExposed(popup.window()));
        const WId popupId = popup.window()->winId();
        QTRY_VERIFY(balloonOnTop());

        // Another program's window is opened, moved over the balloon, activated and raised, and
        // the user clicks into it (away from the balloon) to work there.
        QProcess* other = g_session->launch("xmessage", {"-geometry", "500x300+40+40", "working here"});
        QVERIFY2(other, "xmessage is not installed (run scripts/setup)");
        auto done = qScopeGuard([other] {
            other->kill();
            other->waitForFinished(3000);
        });
        QString otherWindow;
        QTRY_VERIFY((otherWindow =
                         g_session->run("xdotool", {"search", "--sync", "--name", "^xmessage$"}).section('\n', 0, 0)) !=
                    "");
        g_session->run("xdotool", {"windowmove", "--sync", otherWindow, "760", "560"});
        g_session->run("xdotool", {"windowactivate", "--sync", otherWindow});
        g_session->run("xdotool", {"windowraise", otherWindow});
        click(QPoint(790, 600));
        QTRY_COMPARE(focusedWindow(), otherWindow);
        QTRY_VERIFY2(balloonOnTop(), "the window raised after the popup covers it");
        QTest::qWait(500);
        QVERIFY2(balloonOnTop("frmPopup-above-window.png"), "the window raised after the popup covers it");
        QCOMPARE(focusedWindow(), otherWindow);

        // A window made full-screen after it, where the user goes on typing.
        m_below->showFullScreen();
        m_below->activateWindow();
        QTRY_COMPARE(m_below->geometry(), QRect(0, 0, 1280, 800));
        click(QPoint(400, 300));
        QTRY_COMPARE(focusedWindow(), QString::number(m_below->winId()));
        QTRY_VERIFY2(balloonOnTop(), "the full-screen window covers the popup");
        QTest::qWait(500);
        QVERIFY2(balloonOnTop("frmPopup-above-fullscreen.png"), "the full-screen window covers the popup");
        QCOMPARE(focusedWindow(), QString::number(m_below->winId()));
        QCOMPARE(QApplication::focusWidget(), m_below->edit);

        // Still the same popup: in its place, shaped (the full-screen window shows beside the
        // tail), never listed by the window manager.
        QCOMPARE(popup.window()->geometry(), m_expected);
        const QImage shot = screen();
        QCOMPARE(QColor(shot.pixel(m_expected.topLeft() + QPoint(100, 110))), QColor(40, 90, 200));
        QVERIFY(!managedWindows().isEmpty());
        QVERIFY(!managedWindows().contains(popupId));
        QVERIFY(popup.isOpen());

        m_below->showNormal();
        m_below->setGeometry(600, 450, 660, 330);
        other->kill();
        other->waitForFinished(3000);
        QTRY_VERIFY(balloonOnTop());

        // Without a window manager (it has ended, or the desktop never had one) nothing else keeps
        // a window that is opened or raised later below the popup. Last, as it ends the session's
        // window manager.
        const QString wmCheck =
            g_session->run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).section('#', 1).trimmed();
        QVERIFY(!wmCheck.isEmpty());
        int rc = -1;
        g_session->run("openbox", {"--exit"}, &rc);
        QCOMPARE(rc, 0);
        // Gone when its check window is.
        QTRY_VERIFY((g_session->run("xwininfo", {"-id", wmCheck}, &rc), rc != 0));
        QProcess* late = g_session->launch("xmessage", {"-geometry", "500x300+760+560", "opened later"});
        QVERIFY(late);
        auto lateDone = qScopeGuard([late] {
            late->kill();
            late->waitForFinished(3000);
        });
        QString lateWindow;
        QTRY_VERIFY((lateWindow =
                         g_session->run("xdotool", {"search", "--sync", "--name", "^xmessage$"}).section('\n', 0, 0)) !=
                    "");
        QTRY_VERIFY2(balloonOnTop(), "a window opened later covers the popup");
        g_session->run("xdotool", {"windowraise", lateWindow});
        QTest::qWait(500);
        QVERIFY2(balloonOnTop("frmPopup-above-without-wm.png"), "a window raised later covers the popup");
    }
};

int main(int argc, char** argv) {
    // The desktop comes first: the application connects to it when it is created.
    DesktopSession session(DesktopSession::Options{});
    QString why;
    if (!session.start(&why)) {
        qCritical("FAIL: the test desktop did not start: %s", qPrintable(why));
        return 1;
    }
    g_session = &session;
    qputenv("DISPLAY", session.display().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("XDG_RUNTIME_DIR", session.runtimeDir().toLocal8Bit());
    int rc = 0;
    {
        QApplication app(argc, argv);
        TestPopupDesktop t;
        rc = QTest::qExec(&t, argc, argv);
    }
    return rc;
}

#include "tst_popup_desktop.moc"
