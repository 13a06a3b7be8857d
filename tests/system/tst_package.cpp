#include "DesktopSession.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

// The Debian package as an administrator installs it: built with cpack, unpacked into a scratch
// root, its files and entries checked, and the unpacked programs started.
class TestPackage : public QObject {
    Q_OBJECT

    QString run(const QString& program, const QStringList& args, const QString& dir, int* rc) {
        QProcess p;
        p.setWorkingDirectory(dir);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        if (!p.waitForFinished(600000)) {
            p.kill();
            *rc = -1;
            return "timed out";
        }
        *rc = p.exitCode();
        return QString::fromLocal8Bit(p.readAll());
    }

private slots:
    void buildsUnpacksAndStarts() {
        const QString binary = qEnvironmentVariable("HALVANE_BINARY_DIR");
        QVERIFY2(!binary.isEmpty(), "HALVANE_BINARY_DIR is not set; run through ctest");
        QTemporaryDir work;
        int rc = -1;
        QString out =
            run("cpack", {"-G", "DEB", "--config", binary + "/CPackConfig.cmake", "-B", work.path()}, work.path(), &rc);
        QVERIFY2(rc == 0, qPrintable(out));
        const QStringList debs = QDir(work.path()).entryList({"halvane_*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = work.filePath(debs.first());

        out = run("dpkg-deb", {"-f", deb, "Package", "Depends"}, work.path(), &rc);
        QCOMPARE(rc, 0);
        QVERIFY(out.contains("Package: halvane"));
        for (const char* dep : {"libqt6sql6-mysql", "libasound2-plugins", "sound-theme-freedesktop", "libqt6widgets6"})
            QVERIFY2(out.contains(dep), qPrintable("missing dependency " + QString(dep) + " in " + out));

        const QString root = work.filePath("root");
        out = run("dpkg-deb", {"-x", deb, root}, work.path(), &rc);
        QVERIFY2(rc == 0, qPrintable(out));
        for (const char* f :
             {"usr/lib/halvane/Halvane", "usr/lib/halvane/Morvik", "usr/lib/halvane/halvane-send",
              "etc/halvane/halvane.ini", "usr/share/applications/halvane.desktop",
              "usr/share/applications/morvik.desktop", "etc/xdg/autostart/morvik.desktop",
              "usr/share/icons/hicolor/scalable/apps/halvane.svg", "usr/share/icons/hicolor/scalable/apps/morvik.svg",
              "usr/share/halvane/schema.sql", "usr/share/halvane/upgrade.sql", "usr/share/halvane/accounts.sql",
              "usr/lib/systemd/system/halvane-cap-gateway@.service", "usr/share/halvane/cap/example.conf",
              "usr/share/halvane/cap/example.map"})
            QVERIFY2(QFileInfo::exists(root + "/" + f), f);
        QVERIFY(QFileInfo(root + "/usr/share/halvane/accounts").isExecutable());
        QCOMPARE(QFileInfo(root + "/usr/lib/halvane/halvane.ini").symLinkTarget(), QString("/etc/halvane/halvane.ini"));
        QCOMPARE(QFileInfo(root + "/usr/bin/Halvane").symLinkTarget(), root + "/usr/lib/halvane/Halvane");
        QCOMPARE(QFileInfo(root + "/usr/bin/halvane-send").symLinkTarget(), root + "/usr/lib/halvane/halvane-send");

        // The command needs no display: through its link it finds no halvane.ini beside the
        // program (the link points at a file this scratch root does not provide) and says so.
        out = run("env", {"-u", "DISPLAY", root + "/usr/bin/halvane-send", "--code", "Code Red", "--location", "Lobby"},
                  work.path(), &rc);
        QCOMPARE(rc, 1);
        QCOMPARE(out, QString("halvane-send: %1/usr/lib/halvane/halvane.ini was not found; its first line names the "
                              "database server as MYSQLSERVERNAME=host\n")
                          .arg(root));

        // The example mapping is one the gateway takes: the command goes on to the (empty) message.
        out = run("bash",
                  {"-c", "'" + root + "/usr/lib/halvane/halvane-send' --cap - --map '" + root +
                             "/usr/share/halvane/cap/example.map' </dev/null"},
                  work.path(), &rc);
        QCOMPARE(out, QString("halvane-send: standard input: the document is empty: it holds no <alert>\n"));
        QCOMPARE(rc, 6);

        out = run("dpkg-deb", {"--ctrl-tarfile", deb}, work.path(), &rc);
        QCOMPARE(rc, 0);
        out = run("bash", {"-c", "dpkg-deb --ctrl-tarfile '" + deb + "' | tar -xO ./conffiles"}, work.path(), &rc);
        QVERIFY2(out.contains("/etc/halvane/halvane.ini"), qPrintable(out));

        for (const char* entry : {"usr/share/applications/halvane.desktop", "usr/share/applications/morvik.desktop",
                                  "etc/xdg/autostart/morvik.desktop"}) {
            out = run("desktop-file-validate", {root + "/" + entry}, work.path(), &rc);
            QVERIFY2(rc == 0, qPrintable(QString(entry) + ": " + out));
            QFile f(root + "/" + entry);
            QVERIFY(f.open(QIODevice::ReadOnly));
            // Wayland clients can neither place the popup nor keep it on top: run through XWayland.
            QVERIFY(f.readAll().contains("QT_QPA_PLATFORM=xcb"));
        }

        // The unpacked programs start: with no halvane.ini beside them (the link points at a file
        // this scratch root does not provide) each says so in its own box instead of crashing.
        DesktopSession::Options options;
        options.audio = true; // the tray client would otherwise first say that it found no mixer
        DesktopSession desk(options);
        QString why;
        QVERIFY2(desk.start(&why), qPrintable(why));
        for (const char* program : {"Halvane", "Morvik"}) {
            QProcess* p = desk.launch(root + "/usr/lib/halvane/" + program, {});
            QVERIFY(p);
            QString box;
            for (int i = 0; i < 100 && box.isEmpty(); ++i) {
                QTest::qWait(100);
                box = desk.run("xdotool", {"search", "--onlyvisible", "--name", "halv[a]?ne.ini"});
            }
            QVERIFY2(!box.isEmpty(), qPrintable(QString(program) + " showed no box about the missing halvane.ini"));
            QVERIFY2(p->state() == QProcess::Running, program);
            p->kill();
            p->waitForFinished(3000);
        }
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
