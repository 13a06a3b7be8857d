#include "DesktopSession.h"
#include "TestDb.h"
#include "WineSession.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QRect>
#include <QtTest>

#include <functional>
#include <optional>

// The Windows programs under Wine, driven from outside on the test desktop (Xvfb, openbox, trayer,
// PulseAudio) against the private database server: the installer, the backends inside Windows, the
// tray client's poll, popup and ring, the console's keyboard submission, and the refusal of
// second copies. Each part is one ctest entry (its function name as argument).
namespace {

struct Window {
    QString id;
    QRect rect;
};

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (condition()) return true;
        QTest::qWait(200);
    }
    return condition();
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList filesUnder(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// A message box as Windows copies it on Ctrl+C: title, text and buttons between dashed lines.
struct Box {
    QString title, text, buttons;
};

} // namespace

class TestWindowsPrograms : public QObject {
    Q_OBJECT

    WineSession wine;
    std::unique_ptr<DesktopSession> desk;
    // Screenshots, recordings and reports stay for a look after the run.
    QDir out;
    const QString installedMorvik = QStringLiteral("C:\\Program Files\\Halvane\\Morvik.exe");
    const QString installedHalvane = QStringLiteral("C:\\Program Files\\Halvane\\Halvane.exe");

    bool startDesktop(bool trayHost, bool audio) {
        DesktopSession::Options o;
        o.trayHost = trayHost;
        o.audio = audio;
        desk = std::make_unique<DesktopSession>(o);
        QString why;
        if (!desk->start(&why)) {
            qWarning("%s", qPrintable(why));
            return false;
        }
        return true;
    }

    QList<Window> visibleWindows(const QString& cls) const {
        QList<Window> found;
        const QStringList ids =
            desk->run("xdotool", {"search", "--onlyvisible", "--class", cls}).split('\n', Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            QHash<QString, int> v;
            for (const QString& line : desk->run("xdotool", {"getwindowgeometry", "--shell", id}).split('\n')) {
                const auto kv = line.split('=');
                if (kv.size() == 2) v[kv[0].trimmed()] = kv[1].toInt();
            }
            found.append({id, QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"])});
        }
        return found;
    }

    std::optional<Window> popup() const {
        for (const Window& w : visibleWindows("morvik.exe"))
            if (w.rect.size() == QSize(380, 120)) return w;
        return std::nullopt;
    }

    QString findWindow(const QString& namePattern, int seconds) const {
        QString w;
        waitUntil(
            [&] {
                w = desk->run("xdotool", {"search", "--onlyvisible", "--name", namePattern}).section('\n', 0, 0);
                return !w.isEmpty();
            },
            seconds * 1000);
        return w;
    }

    void key(const QString& k) const {
        desk->run("xdotool", {"key", "--clearmodifiers", k});
        QTest::qWait(300);
    }

    // Copies the box in front (Windows' Ctrl+C on a message box) and reads it from the clipboard,
    // which Wine shares with the X server.
    Box copyBox(const QString& window) const {
        desk->run("xdotool", {"windowactivate", "--sync", window});
        QTest::qWait(300);
        key("ctrl+c");
        QString text;
        waitUntil(
            [&] {
                text = desk->run("xclip", {"-o", "-selection", "clipboard"}).remove('\r');
                return text.startsWith("---");
            },
            5000);
        // Sections between lines of dashes: title, text, buttons.
        QStringList sections{QString()};
        for (const QString& line : text.split('\n')) {
            if (line.startsWith("-----")) {
                if (!sections.last().isEmpty()) sections << QString();
            } else {
                sections.last() += (sections.last().isEmpty() ? "" : "\n") + line;
            }
        }
        Box b;
        if (sections.size() >= 3) {
            b.title = sections[0].trimmed();
            b.text = sections[1].trimmed();
            b.buttons = QString(sections[2]).remove('&').simplified();
        }
        return b;
    }

    // QProcess::waitForFinished answers false for a process that has already ended.
    static bool ends(QProcess* p, int timeoutMs) {
        return waitUntil([p] { return p->state() == QProcess::NotRunning; }, timeoutMs);
    }

    QString regQuery(const QString& key) {
        QString output;
        wine.run(nullptr, {"reg", "query", key}, 60000, &output);
        return output.remove('\r');
    }

    void seedCatalogues() {
        testdb::reset();
        testdb::exec("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'All employees report to their "
                     "fire watch location.'), ('Code Blue', NULL)");
        testdb::exec("INSERT INTO locations (CodeLocation) VALUES ('East Wing'), ('Lobby')");
    }

private slots:
    void initTestCase() {
        QString why;
        QVERIFY2(wine.ready(&why), qPrintable(why));
        out.setPath(wine.buildDir() + "/test-output");
        QVERIFY(out.mkpath("."));
        wine.stopAll();
    }

    void cleanup() {
        if (desk && QTest::currentTestFailed())
            desk->screenshot(out.filePath(QString(QTest::currentTestFunction()) + ".png"));
        wine.stopAll();
        desk.reset();
    }

    // The installer, silent as an administrator's deployment runs it: every file of the program
    // folder in Program Files, halvane.ini naming the server, the tray client started at log-on,
    // both programs in the Start menu; a second run (an upgrade) keeps halvane.ini as it was.
    void install() {
        QCOMPARE(wine.run(nullptr, {wine.installer(), "/S", "/SERVER=127.0.0.1"}), 0);
        QCOMPARE(filesUnder(wine.installDir()), [&] {
            QStringList expected = filesUnder(wine.distDir()) << "Uninstall.exe"
                                                              << "halvane.ini";
            expected.sort();
            return expected;
        }());
        QCOMPARE(readText(wine.installDir() + "/halvane.ini"), QString("MYSQLSERVERNAME=127.0.0.1\r\n"));
        QVERIFY2(
            regQuery("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run")
                .contains(QRegularExpression("Morvik\\s+REG_SZ\\s+\"C:\\\\Program Files\\\\Halvane\\\\Morvik.exe\"")),
            "the tray client is not started at log-on");
        QVERIFY(QFileInfo::exists(wine.startMenuDir() + "/Halvane.lnk"));
        QVERIFY(QFileInfo::exists(wine.startMenuDir() + "/Morvik.lnk"));
        QVERIFY(regQuery("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halvane")
                    .contains("Uninstall.exe"));

        QCOMPARE(wine.run(nullptr, {wine.installer(), "/S", "/SERVER=elsewhere.example"}), 0);
        QCOMPARE(readText(wine.installDir() + "/halvane.ini"), QString("MYSQLSERVERNAME=127.0.0.1\r\n"));
        QVERIFY(QFileInfo::exists(wine.installDir() + "/Morvik.exe"));
    }

    // The Windows backends inside Windows (tst_windows_backends.exe, built with the programs): the
    // volume and mute logic against a scripted endpoint, the real endpoint and the system's
    // sound player as far as Wine goes; the shipped ring must reach the audio server.
    void backends() {
        QVERIFY(startDesktop(false, true));
        const QString exe = wine.buildDir() + "/wintests/tst_windows_backends.exe";
        QVERIFY2(QFileInfo::exists(exe), qPrintable(exe + " is missing; scripts/build-windows makes it"));
        const QString report = out.filePath("backends.txt");
        QVERIFY(desk->startRecording(out.filePath("backends.wav")));
        qputenv("HALVANE_RING_WAV", WineSession::windowsPath(wine.distDir() + "/ring.wav").toLocal8Bit());
        const int rc = wine.run(desk.get(), {exe, "-o", WineSession::windowsPath(report) + ",txt"}, 180000);
        desk->stopRecording();
        const QString text = readText(report);
        qInfo().noquote() << QString(text).remove('\r');
        QVERIFY2(rc == 0, qPrintable(QString("the backends test inside Wine failed (exit %1)").arg(rc)));
        QVERIFY2(text.contains("Totals:") && text.contains(" 0 failed"), "no complete report from inside Wine");
        QVERIFY2(DesktopSession::peakDb(out.filePath("backends.wav")) > -50,
                 "the ring sound did not reach the audio server");
    }

    // The installed tray client: its icon docks in the tray host and its menu opens; its first poll
    // finds the alert in the real database, the popup stands at its documented place without
    // taking the focus, and the ring is heard on the audio server; a click closes the popup; a
    // second copy ends at once, silently, and the first runs on.
    void tray() {
        REQUIRE_DB();
        testdb::reset();
        testdb::exec("INSERT INTO alerts (CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments) VALUES "
                     "('Code Red', 'Use the north stairs', CURRENT_DATE, TIME(NOW() - INTERVAL 5 SECOND), 'Lobby', "
                     "'All employees report to their fire watch location.')");
        QVERIFY(startDesktop(true, true));
        QVERIFY(desk->setSinkVolume(65536));
        QVERIFY(desk->setSinkMuted(false));
        const QString wav = out.filePath("tray.wav");
        QVERIFY(desk->startRecording(wav));

        QProcess* morvik = wine.start(desk.get(), {installedMorvik});
        QVERIFY(morvik);
        std::optional<Window> icon;
        QVERIFY2(waitUntil(
                     [&] {
                         for (const Window& w : visibleWindows("explorer.exe"))
                             if (w.rect.width() <= 32 && w.rect.height() <= 32 && w.rect.bottom() >= 770) icon = w;
                         return icon.has_value();
                     },
                     20000),
                 "the tray icon did not dock in the tray host");
        const QString focused = desk->run("xdotool", {"getwindowfocus"});

        // The first poll comes 15 s after the start.
        QVERIFY2(waitUntil([&] { return popup().has_value(); }, 30000), "no popup within the first poll");
        QCOMPARE(popup()->rect, QRect(840, 650, 380, 120));
        QTest::qWait(3000); // the ring plays to its end
        desk->stopRecording();
        desk->screenshot(out.filePath("tray-popup.png"));
        QCOMPARE(desk->run("xdotool", {"getwindowfocus"}), focused);
        QVERIFY2(DesktopSession::peakDb(wav) > -50, "no ring recorded on the audio server");

        const QPoint c = icon->rect.center();
        desk->run("xdotool", {"mousemove", QString::number(c.x()), QString::number(c.y()), "click", "3"});
        QVERIFY2(waitUntil([&] { return visibleWindows("morvik.exe").size() >= 2; }, 10000),
                 "the tray menu did not open");
        key("Escape");

        const QRect p = popup()->rect;
        desk->run("xdotool", {"mousemove", QString::number(p.x() + 100), QString::number(p.y() + 40), "click", "1"});
        QVERIFY2(waitUntil([&] { return !popup().has_value(); }, 5000), "a click did not close the popup");

        QProcess* second = wine.start(desk.get(), {installedMorvik});
        QVERIFY(second);
        QVERIFY2(ends(second, 30000), "a second tray client kept running");
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(morvik->state(), QProcess::Running);
    }

    // The installed console: an alert submitted by keyboard alone lands in both tables; its boxes
    // have their documented titles, texts and buttons; a second copy is refused with its box and
    // ends, and the first runs on.
    void console() {
        REQUIRE_DB();
        seedCatalogues();
        QVERIFY(startDesktop(false, false));
        QProcess* halvane = wine.start(desk.get(), {installedHalvane});
        QVERIFY(halvane);
        const QString main = findWindow("^HALVANE - ", 40);
        QVERIFY2(!main.isEmpty(), "the console's main window did not appear");
        desk->run("xdotool", {"windowactivate", "--sync", main});
        QTest::qWait(500);

        // Lists in name order, each name followed by an empty entry: Down picks the first name.
        key("Down"); // Code Blue
        key("Tab");
        key("Down"); // East Wing
        key("Return");
        const QString question = findWindow("^Custom Message$", 15);
        QVERIFY2(!question.isEmpty(), "no custom message question");
        const Box ask = copyBox(question);
        QCOMPARE(ask.title, QString("Custom Message"));
        QCOMPARE(ask.text, QString("Would you like to type a custom message? This message will be in the popup window "
                                   "on each PC running HALVANE."));
        QCOMPARE(ask.buttons, QString("Yes No"));
        key("n");
        const QString saved = findWindow("^Halvane Saved$", 15);
        QVERIFY2(!saved.isEmpty(), "no confirmation");
        const Box done = copyBox(saved);
        QCOMPARE(done.title, QString("Halvane Saved"));
        QCOMPARE(done.text, QString("The new halvane record has been saved to the database."));
        QCOMPARE(done.buttons, QString("OK"));
        desk->screenshot(out.filePath("console-saved.png"));
        key("Return");

        const auto alerts = testdb::rows("SELECT CodeName, CodeLocation, CodeMessage, Comments FROM alerts");
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(alerts[0].value("CodeName").toString(), QString("Code Blue"));
        QCOMPARE(alerts[0].value("CodeLocation").toString(), QString("East Wing"));
        QCOMPARE(alerts[0].value("CodeMessage").toString(), QString());
        QCOMPARE(testdb::scalar("SELECT COUNT(*) FROM AlertLog WHERE CodeName = 'Code Blue' AND "
                                "CodeLocation = 'East Wing'")
                     .toInt(),
                 1);

        QProcess* second = wine.start(desk.get(), {installedHalvane});
        QVERIFY(second);
        const QString ending = findWindow("^Ending\\.\\.\\.\\.\\.$", 40);
        QVERIFY2(!ending.isEmpty(), "a second console was not refused");
        const Box refused = copyBox(ending);
        QCOMPARE(refused.title, QString("Ending....."));
        QCOMPARE(refused.text, QString("Halvane Admin is Already running! If not already running wait a moment after "
                                       "closing."));
        QCOMPARE(refused.buttons, QString("OK"));
        key("Return");
        QVERIFY2(ends(second, 20000), "the refused console did not end");
        QCOMPARE(halvane->state(), QProcess::Running);
    }

    // The uninstaller removes every installed file, the folder, the log-on entry, the Start menu
    // entries and its own registration.
    void uninstall() {
        const QString uninstaller = wine.installDir() + "/Uninstall.exe";
        QVERIFY2(QFileInfo::exists(uninstaller), "nothing is installed");
        // It copies itself away and removes the folder from there, so its end is awaited by its work.
        QCOMPARE(wine.run(nullptr, {uninstaller, "/S"}), 0);
        QVERIFY2(waitUntil([&] { return !QFileInfo::exists(wine.installDir()); }, 60000),
                 qPrintable("left behind: " + filesUnder(wine.installDir()).join(", ")));
        QVERIFY(!QFileInfo::exists(wine.startMenuDir() + "/Halvane.lnk"));
        QVERIFY(!QFileInfo::exists(wine.startMenuDir() + "/Morvik.lnk"));
        QVERIFY(!regQuery("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run").contains("Morvik"));
        QVERIFY(
            !regQuery("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halvane").contains("Halvane"));
    }
};

QTEST_GUILESS_MAIN(TestWindowsPrograms)
#include "tst_windows_programs.moc"
