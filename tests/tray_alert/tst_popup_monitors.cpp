#include "DesktopSession.h"
#include "popup/DesktopPopup.h"
#include "popup/PopupWindow.h"

#include <QApplication>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Run as a child on the desktop: shows the popup, prints each balloon's window id, one a line,
// then "closed" once they have all gone.
int showPopup(int argc, char** argv) {
    QApplication app(argc, argv);
    hv::DesktopPopup popup;
    popup.showAlerts("06:05 AM - CODE Code Red\r\nLocation = East Wing\r\n", nullptr);
    for (hv::PopupWindow* w : popup.windows()) {
        if (!QTest::qWaitForWindowExposed(w)) return 1;
        printf("%llu\n", static_cast<unsigned long long>(w->winId()));
    }
    fflush(stdout);
    while (popup.isOpen())
        QTest::qWait(50);
    printf("closed\n");
    return 0;
}

} // namespace

// The popup on a desktop with two monitors: a balloon in the corner of each, drawn and shaped,
// none taking the focus, all gone after a click on one of them.
class TestPopupMonitors : public QObject {
    Q_OBJECT

private slots:
    void oneBalloonPerMonitor_data() {
        QTest::addColumn<QRect>("second");
        QTest::addColumn<QList<QRect>>("expected");
        // The primary keeps its place from the whole screen; the other monitor's comes from its
        // work area, here free of panels.
        QTest::newRow("side by side") << QRect(1280, 0, 1024, 768)
                                      << QList<QRect>{{840, 650, 380, 120}, {1864, 618, 380, 120}};
        QTest::newRow("one above the other")
            << QRect(0, 800, 1280, 800) << QList<QRect>{{840, 650, 380, 120}, {840, 1450, 380, 120}};
    }
    void oneBalloonPerMonitor() {
        QFETCH(QRect, second);
        QFETCH(QList<QRect>, expected);
        DesktopSession::Options o;
        o.monitors = {QRect(0, 0, 1280, 800), second};
        DesktopSession s(o);
        QString why;
        QVERIFY2(s.start(&why), qPrintable(why));

        // The user works in another program's window.
        QVERIFY2(s.launch("xmessage", {"-geometry", "+100+100", "typing here"}), "xmessage is not installed");
        QString user;
        QTRY_VERIFY((user = s.run("xdotool", {"search", "--sync", "--name", "^xmessage$"}).section('\n', 0, 0)) != "");
        s.run("xdotool", {"windowactivate", "--sync", user});
        QTRY_COMPARE(s.run("xdotool", {"getwindowfocus"}), user);

        // The desktop as it is without the popup, to tell the see-through parts.
        QTemporaryDir dir;
        QVERIFY(s.screenshot(dir.filePath("before.png")));
        const QImage before = QImage(dir.filePath("before.png")).convertToFormat(QImage::Format_RGB32);

        QProcessEnvironment env = s.environment();
        env.insert("HALVANE_SHOW_POPUP", "1");
        QProcess process;
        QProcess* child = &process;
        child->setProcessEnvironment(env);
        child->start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child->waitForStarted());
        QStringList ids;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         while (child->canReadLine())
                             ids << QString::fromLocal8Bit(child->readLine()).trimmed();
                         return ids.size() >= 2 || child->state() == QProcess::NotRunning;
                     },
                     20000),
                 "the popup did not show");
        QCOMPARE(ids.size(), 2);

        // Where the X server has them.
        QList<QRect> placed;
        for (const QString& id : std::as_const(ids)) {
            const QString info = s.run("xwininfo", {"-id", id});
            auto value = [&](const char* key) {
                return QRegularExpression(QString("%1:\\s*(-?\\d+)").arg(key)).match(info).captured(1).toInt();
            };
            QVERIFY2(info.contains("Map State: IsViewable"), qPrintable(info));
            placed << QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                            value("Height"));
        }
        QCOMPARE(placed, expected);
        QTest::qWait(500);
        QCOMPARE(s.run("xdotool", {"getwindowfocus"}), user);

        // Each drawn in full with its text, and see-through beside its tail.
        const QString keep = qEnvironmentVariable("HALVANE_BINARY_DIR", dir.path()) + "/test-artifacts/frmPopup-" +
                             QString(QTest::currentDataTag()).replace(' ', '-') + ".png";
        QDir().mkpath(QFileInfo(keep).path());
        QVERIFY(s.screenshot(keep));
        const QImage shot = QImage(keep).convertToFormat(QImage::Format_RGB32);
        for (const QRect& r : std::as_const(expected)) {
            QCOMPARE(QColor(shot.pixel(r.topLeft() + QPoint(200, 0))), QColor(0, 0, 0));
            QCOMPARE(QColor(shot.pixel(r.topLeft() + QPoint(200, 90))), QColor(255, 255, 0));
            const QPoint beside = r.topLeft() + QPoint(100, 110);
            QCOMPARE(QColor(shot.pixel(beside)), QColor(before.pixel(beside)));
            int dark = 0;
            for (int y = 6; y < 40; ++y)
                for (int x = 10; x < 200; ++x)
                    dark += qGray(shot.pixel(r.topLeft() + QPoint(x, y))) < 128;
            QVERIFY2(dark > 50, "a balloon without its text");
        }

        // A click on the other monitor's balloon closes both.
        const QPoint onText = expected[1].topLeft() + QPoint(150, 50);
        s.run("xdotool", {"mousemove", QString::number(onText.x()), QString::number(onText.y()), "click", "1"});
        QVERIFY2(child->waitForReadyRead(10000) || child->canReadLine(), "the balloons stayed after a click");
        QCOMPARE(QString::fromLocal8Bit(child->readLine()).trimmed(), QString("closed"));
        QVERIFY(child->waitForFinished(5000));
        QCOMPARE(s.run("xdotool", {"getwindowfocus"}), user);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("HALVANE_SHOW_POPUP")) return showPopup(argc, argv);
    QCoreApplication app(argc, argv);
    TestPopupMonitors t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_popup_monitors.moc"
