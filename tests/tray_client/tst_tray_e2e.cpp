#include "DesktopSession.h"
#include "TestDb.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QtTest>

// The real Morvik on a real desktop: Xvfb, openbox, a tray host and a headless audio server,
// against the private database server.
namespace {

struct Window {
    QString id;
    QRect rect;
};

QList<Window> visibleMorvikWindows(const DesktopSession& s) {
    QList<Window> out;
    const QStringList ids =
        s.run("xdotool", {"search", "--onlyvisible", "--class", "Morvik"}).split('\n', Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        const QString shell = s.run("xdotool", {"getwindowgeometry", "--shell", id});
        QHash<QString, int> v;
        for (const QString& line : shell.split('\n')) {
            const auto kv = line.split('=');
            if (kv.size() == 2) v[kv[0].trimmed()] = kv[1].toInt();
        }
        out.append({id, QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"])});
    }
    return out;
}

// Sound bursts in a recording, told apart by at least a second of silence.
int countRings(const QString& wav, double seconds) {
    int rings = 0;
    double lastLoud = -10;
    for (double t = 0; t < seconds; t += 0.25) {
        if (DesktopSession::peakDb(wav, t, 0.25) > -70) {
            if (t - lastLoud > 1.0) ++rings;
            lastLoud = t;
        }
    }
    return rings;
}

double lengthOf(const QString& wav) {
    QFile f(wav);
    // 44.1 kHz, two channels of 16 bits, after a 44-byte header.
    return f.exists() ? double(f.size() - 44) / (44100.0 * 4) : 0;
}

} // namespace

class TestTrayE2e : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    std::unique_ptr<DesktopSession> session;
    QString morvik;
    QList<QProcess*> launched;

    QProcess* launchMorvik() {
        QProcess* p = session->launch(morvik, {});
        if (p) launched.append(p);
        return p;
    }

    std::optional<Window> trayIcon() {
        for (const Window& w : visibleMorvikWindows(*session))
            if (w.rect.width() <= 32 && w.rect.height() <= 32 && w.rect.bottom() >= 770) return w;
        return std::nullopt;
    }

    std::optional<Window> popupWindow() {
        for (const Window& w : visibleMorvikWindows(*session))
            if (w.rect.size() == QSize(380, 120)) return w;
        return std::nullopt;
    }

    void openMenu() {
        const auto icon = trayIcon();
        QVERIFY2(icon, "the tray icon is not there");
        const QPoint c = icon->rect.center();
        session->run("xdotool", {"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "3"});
        QVERIFY2(QTest::qWaitFor([&] { return visibleMorvikWindows(*session).size() >= 2; }, 5000), "no menu came up");
        QTest::qWait(300);
    }

    QString questionBox() {
        return session->run("xdotool", {"search", "--onlyvisible", "--name", "Halvane - Are You Sure?"});
    }

    QString shot(const QString& name) {
        const QString path = QDir(qEnvironmentVariable("HALVANE_BINARY_DIR")).filePath("tests/tray_client/" + name);
        session->screenshot(path);
        return path;
    }

private slots:
    void initTestCase() {
        REQUIRE_DB();
        // Its own copy beside its own halvane.ini, as it is installed.
        morvik = dir.filePath("Morvik");
        QVERIFY(QFile::copy(qEnvironmentVariable("HALVANE_BINARY_DIR") + "/tray/Morvik", morvik));
        QFile ini(dir.filePath("halvane.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("MYSQLSERVERNAME=127.0.0.1\r\n");
        ini.close();

        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        session = std::make_unique<DesktopSession>(o);
        QString why;
        QVERIFY2(session->start(&why), qPrintable(why));
        QVERIFY(session->setSinkMuted(false));
        QVERIFY(session->setSinkVolume(65536));
    }

    void cleanup() {
        // A case that failed half-way must not leave its copy holding the single instance.
        for (QProcess* p : std::as_const(launched)) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        launched.clear();
    }

    void cleanupTestCase() { session.reset(); }

    void alertTravelsToTheDesktop() {
        testdb::reset();
        testdb::exec("UPDATE properties SET TraysToolTipText = 'Halvane e2e tooltip'");
        QProcess* first = launchMorvik();
        QVERIFY(first);
        QVERIFY2(QTest::qWaitFor([&] { return trayIcon().has_value(); }, 15000), "the tray icon did not appear");

        // Hovering shows the tooltip window beside the icon.
        const QPoint c = trayIcon()->rect.center();
        session->run("xdotool", {"mousemove", QString::number(c.x()), QString::number(c.y())});
        QVERIFY2(QTest::qWaitFor([&] { return visibleMorvikWindows(*session).size() >= 2; }, 8000),
                 "no tooltip came up");
        shot("tray_tooltip.png");
        session->run("xdotool", {"mousemove", "100", "100"});
        QTest::qWait(500);

        // A left click and a double click open nothing.
        session->run("xdotool", {"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "1"});
        session->run("xdotool", {"click", "--repeat", "2", "1"});
        QTest::qWait(800);
        session->run("xdotool", {"mousemove", "100", "100"});
        QTest::qWait(800);
        QCOMPARE(visibleMorvikWindows(*session).size(), 1);

        // Right click: the menu; "Test Sound" rings.
        const QString testWav = dir.filePath("test_sound.wav");
        QVERIFY(session->startRecording(testWav));
        openMenu();
        shot("tray_menu.png");
        session->run("xdotool", {"key", "Down", "Return"});
        QTest::qWait(4000);
        session->stopRecording();
        QCOMPARE(countRings(testWav, lengthOf(testWav)), 1);

        // An alert stored with the server's own time shows within one poll, rings once, and the
        // next poll does not ring again.
        const QString alertWav = dir.filePath("alert.wav");
        QVERIFY(session->startRecording(alertWav));
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) "
                     "SELECT 'Code Red', 'Smoke on floor 2', CURRENT_DATE, TIME(NOW()), 'Lobby', 'Go to posts'");
        QVERIFY2(QTest::qWaitFor([&] { return popupWindow().has_value(); }, 16500), "no popup within one poll");
        QCOMPARE(popupWindow()->rect.topLeft(), QPoint(1280 - 380 - 60, 800 - 120 - 30));
        // The balloon is drawn there: mostly yellow.
        QTest::qWait(700);
        const QImage screen = QImage(shot("tray_popup.png")).convertToFormat(QImage::Format_RGB32);
        int yellow = 0;
        for (int y = 650; y < 650 + 96; ++y)
            for (int x = 840; x < 840 + 380; ++x) {
                const QRgb p = screen.pixel(x, y);
                yellow += qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80;
            }
        QVERIFY2(yellow > 380 * 96 / 2,
                 qPrintable(QString("only %1 yellow pixels where the balloon belongs").arg(yellow)));
        QTest::qWait(16000);
        session->stopRecording();
        QVERIFY(popupWindow().has_value());
        QCOMPARE(countRings(alertWav, lengthOf(alertWav)), 1);

        // A second copy ends at once, silently; the first runs on.
        QProcess* second = launchMorvik();
        QVERIFY(second);
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // Exit, No: it runs on with its icon.
        openMenu();
        session->run("xdotool", {"key", "Down", "Down", "Return"});
        QVERIFY2(QTest::qWaitFor([&] { return !questionBox().isEmpty(); }, 5000), "Exit did not ask");
        shot("tray_exit_question.png");
        session->run("xdotool", {"windowactivate", "--sync", questionBox().split('\n').first(), "key", "Escape"});
        QVERIFY(QTest::qWaitFor([&] { return questionBox().isEmpty(); }, 5000));
        QTest::qWait(500);
        QCOMPARE(first->state(), QProcess::Running);
        QVERIFY(trayIcon().has_value());

        // Exit, Yes: the icon goes and the program ends.
        openMenu();
        session->run("xdotool", {"key", "Down", "Down", "Return"});
        QVERIFY2(QTest::qWaitFor([&] { return !questionBox().isEmpty(); }, 5000), "Exit did not ask");
        session->run("xdotool", {"windowactivate", "--sync", questionBox().split('\n').first(), "key", "Return"});
        QVERIFY(first->waitForFinished(10000));
        QCOMPARE(first->exitCode(), 0);
        QVERIFY(!trayIcon().has_value());
    }

    void sigtermEndsWithoutTheQuestion() {
        testdb::reset();
        QProcess* p = launchMorvik();
        QVERIFY(p);
        QVERIFY2(QTest::qWaitFor([&] { return trayIcon().has_value(); }, 15000), "the tray icon did not appear");
        QCOMPARE(p->state(), QProcess::Running);
        p->terminate();
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(questionBox().isEmpty());
        QVERIFY(!trayIcon().has_value());
    }
};

QTEST_GUILESS_MAIN(TestTrayE2e)
#include "tst_tray_e2e.moc"
