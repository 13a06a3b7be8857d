// A full-screen emergency with nothing faked in between: a real tray client on a desktop of two
// monitors, the alert sent through the main window, answered with a click.
#include "ConsoleKit.h"
#include "DesktopSession.h"
#include "admin/PresentationsWindow.h"
#include "delivery/DeliveryWindow.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QtTest>

namespace {

DesktopSession* g_desktop = nullptr;

// The full-screen windows on the desktop, as "WIDTHxHEIGHT+X+Y" by window id.
QMap<QString, QString> fullScreenWindows() {
    QMap<QString, QString> out;
    const QStringList ids = g_desktop->run("xdotool", {"search", "--onlyvisible", "--name", "^CODE Code Red$"})
                                .split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        const QString geometry = g_desktop->run("xdotool", {"getwindowgeometry", "--shell", id});
        auto value = [&](const char* key) {
            return QRegularExpression(QString("%1=(\\d+)").arg(key)).match(geometry).captured(1);
        };
        out.insert(id, QString("%1x%2+%3+%4").arg(value("WIDTH"), value("HEIGHT"), value("X"), value("Y")));
    }
    return out;
}

// The balloons on screen (one per monitor while alerts are live).
int balloonsShown() {
    int n = 0;
    const QStringList ids =
        g_desktop->run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids)
        if (g_desktop->run("xdotool", {"getwindowgeometry", id}).contains("Geometry: 380x120")) ++n;
    return n;
}

// The middle of the leftmost answer button (white, 260 pixels or wider) on the primary monitor.
QPoint firstAnswerButton(const QImage& shot) {
    for (int y = 400; y < 800; ++y) {
        int run = 0;
        for (int x = 0; x < 1280; ++x) {
            run = QColor(shot.pixel(x, y)) == QColor(Qt::white) ? run + 1 : 0;
            if (run == 200) return {x - 100, y + 20};
        }
    }
    return {};
}

} // namespace

class TestPresentationsE2e : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess* m_tray = nullptr;
    QProcess m_sinkEvents;
    int m_rings = 0;

    void screenshot(const QString& name, QImage* image = nullptr) {
        const QString dir = qEnvironmentVariable("HALVANE_BINARY_DIR") + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY2(g_desktop->screenshot(dir + "/" + name + ".png"), "import (imagemagick) made no screenshot");
        if (image) *image = QImage(dir + "/" + name + ".png").convertToFormat(QImage::Format_RGB32);
    }
    // Each ring is a new stream on the audio server.
    int rings() {
        m_sinkEvents.waitForReadyRead(100);
        m_rings += int(QString::fromUtf8(m_sinkEvents.readAllStandardOutput()).count("'new' on sink-input"));
        return m_rings;
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        QVERIFY(m_dir.isValid());
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your fire-watch places.')");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing')");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", m_dir.filePath("Morvik")));
        QFile ini(m_dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();
        QVERIFY(g_desktop->setSinkMuted(false));
        m_sinkEvents.start("pactl", {"subscribe"});
        QVERIFY2(m_sinkEvents.waitForStarted(), "pactl (pulseaudio-utils) is not installed: run scripts/setup");
        m_tray = g_desktop->launch(m_dir.filePath("Morvik"), {});
        QVERIFY(m_tray);
        QVERIFY2(
            QTest::qWaitFor([] { return testdb::scalar("SELECT COUNT(*) FROM workstations").toInt() == 1; }, 20000),
            "the tray client did not check in");
    }

    void cleanupTestCase() {
        if (m_tray) {
            m_tray->terminate();
            m_tray->waitForFinished(10000);
        }
        m_sinkEvents.kill();
        m_sinkEvents.waitForFinished();
    }

    // Over both monitors and the user's full-screen window, with the focus; the space bar the
    // user holds down from typing answers nothing; it rings again until "I'm safe" is clicked.
    void aFullScreenAlertIsAnsweredWithAClick() {
        // The user types in a full-screen window of their own, and holds the space bar down.
        QWidget work;
        work.setWindowTitle("Work");
        auto* edit = new QLineEdit(&work);
        edit->setGeometry(20, 20, 400, 30);
        work.showFullScreen();
        QVERIFY(QTest::qWaitForWindowActive(&work));
        edit->setFocus();
        g_desktop->run("xdotool", {"keydown", "space"});
        auto release = qScopeGuard([] { g_desktop->run("xdotool", {"keyup", "space"}); });

        ConsoleKit h;
        h.clock.set(QDateTime::currentDateTime());
        hv::MainWindow& form1 = h.started();
        {
            // Set up through the administration window: an answer given twice is refused.
            hv::PresentationsWindow admin(h.ctx);
            QVERIFY(admin.load());
            admin.show();
            QVERIFY(QTest::qWaitForWindowExposed(&admin));
            admin.findChild<QComboBox*>("cboPresentation")->setCurrentText("Full screen");
            admin.findChild<QComboBox*>("cboRing")->setCurrentText("Until answered");
            admin.findChild<QComboBox*>("cboAnswers")->setCurrentText("The site's own");
            typeInto(&admin, "txtAnswer1", "I'm safe");
            typeInto(&admin, "txtAnswer2", "I'm safe");
            clickButton(&admin, "cmdSave");
            QCOMPARE(h.titles(), QStringList{"Presentation Not Saved"});
            QCOMPARE(h.msg.boxes[0].text, QString("The answer \"I'm safe\" is offered twice."));
            h.msg.boxes.clear();
            admin.findChild<QLineEdit*>("txtAnswer2")->clear();
            typeInto(&admin, "txtAnswer2", "Need help");
            admin.findChild<QComboBox*>("cboHelp")->setCurrentText("Need help");
            QTest::qWait(300);
            screenshot("frmPresentations");
            clickButton(&admin, "cmdSave");
            QCOMPARE(admin.findChild<QLabel*>("lblPresentation")->text(),
                     QString("Shown over the whole screen, rings every 20 seconds until answered, answers: I'm safe, "
                             "Need help (\"Need help\" calls for help)."));
            QCOMPARE(h.msg.boxes.size(), 0);
        }
        h.choose("Code Red", "East Wing");
        form1.Command1_Click();
        QCOMPARE(h.titles(), QStringList({"Custom Message", "Halvane Saved"}));
        QCOMPARE(testdb::scalar("SELECT CONCAT_WS(' ', Presentation, RingMode, Answer1, Answer2, HelpAnswer) FROM "
                                "alertpresentations")
                     .toString(),
                 QString("fullscreen untilanswered I'm safe Need help 2"));

        QMap<QString, QString> windows;
        QVERIFY2(QTest::qWaitFor([&] { return (windows = fullScreenWindows()).size() == 2; }, 25000),
                 qPrintable(QStringList(fullScreenWindows().values()).join(", ")));
        QCOMPARE(QSet<QString>(windows.begin(), windows.end()), QSet<QString>({"1280x800+0+0", "1024x768+1280+0"}));
        QTRY_VERIFY2(windows.contains(g_desktop->run("xdotool", {"getwindowfocus"})),
                     "the full-screen alert did not take the focus");
        QTRY_VERIFY(rings() >= 1);

        // Held through the window's coming and well past it: no answer.
        QTest::qWait(2500);
        release.dismiss();
        g_desktop->run("xdotool", {"keyup", "space"});
        QTest::qWait(500);
        QCOMPARE(fullScreenWindows().size(), 2);
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM answers").toInt(), 0);
        QImage shot;
        screenshot("frmFullScreen-two-monitors", &shot);
        QCOMPARE(QColor(shot.pixel(5, 5)), QColor(160, 0, 0));
        QCOMPARE(QColor(shot.pixel(1285, 5)), QColor(160, 0, 0));
        QCOMPARE(QColor(shot.pixel(1285, 790)), QColor(0, 0, 0)); // below the smaller monitor: no screen

        // Unanswered, it rings again 20 seconds after the first ring.
        QVERIFY2(QTest::qWaitFor([&] { return rings() >= 2; }, 26000), "it did not ring again while unanswered");

        const QPoint safe = firstAnswerButton(shot);
        QVERIFY2(!safe.isNull(), "no answer button found on the screenshot");
        g_desktop->run("xdotool", {"mousemove", QString::number(safe.x()), QString::number(safe.y()), "click", "1"});
        QTRY_COMPARE(fullScreenWindows().size(), 0);
        QTRY_COMPARE(testdb::scalar("SELECT CONCAT_WS(' ', Answer, CallsForHelp) FROM answers").toString(),
                     QString("I'm safe 0"));
        QCOMPARE(testdb::scalar("SELECT DesktopUser = (SELECT DesktopUser FROM workstations) FROM answers").toInt(), 1);
        // Answered, it rings no more, and stays in the balloon while it is live.
        const int rang = rings();
        QTRY_COMPARE(balloonsShown(), 2);

        // Someone at another workstation needs help: first in the delivery window, in red.
        testdb::exec(
            "INSERT INTO receipts (CodeDate, CodeTime, AlertID, HostName, DesktopUser, CodeName, CodeLocation, "
            "ShownAt) SELECT CodeDate, CodeTime, ID, 'WARD-PC2', 'bob', CodeName, CodeLocation, NOW() FROM "
            "alerts");
        testdb::exec("CALL tray_answer((SELECT CodeDate FROM alerts), (SELECT CodeTime FROM alerts), (SELECT ID FROM "
                     "alerts), 'WARD-PC2', 'bob', 'Need help', 0)");
        hv::DeliveryWindow* delivery = hv::DeliveryWindow::open(h.ctx);
        auto closeDelivery = qScopeGuard([delivery] { delivery->close(); });
        auto* alert = delivery->findChild<QLabel*>("lblAlert");
        QVERIFY2(QTest::qWaitFor(
                     [&] { return alert->text().endsWith("\nAnswers: I'm safe 1, Need help 1; not answered yet 0"); },
                     10000),
                 qPrintable(alert->text()));
        auto* list = delivery->findChild<QTreeWidget*>();
        QCOMPARE(list->topLevelItem(0)->text(0), QString("Called for help (1)"));
        QCOMPARE(list->topLevelItem(0)->child(0)->text(0), QString("WARD-PC2"));
        QCOMPARE(list->topLevelItem(0)->child(0)->foreground(0).color(), QColor(200, 0, 0));
        QCOMPARE(list->topLevelItem(1)->text(0), QString("Answered (1)"));
        QCOMPARE(list->topLevelItem(1)->child(0)->text(3), QString("I'm safe"));
        QTest::qWait(300);
        screenshot("frmDelivery-answers");

        QTest::qWait(22000);
        QCOMPARE(rings(), rang);
        QCOMPARE(m_tray->state(), QProcess::Running);
    }
};

int main(int argc, char** argv) {
    DesktopSession::Options options;
    options.trayHost = true;
    options.audio = true;
    options.monitors = {QRect(0, 0, 1280, 800), QRect(1280, 0, 1024, 768)};
    DesktopSession desktop(options);
    if (!desktop.startForThisProcess()) return 1;
    g_desktop = &desktop;
    QApplication app(argc, argv);
    TestPresentationsE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_presentations_e2e.moc"
