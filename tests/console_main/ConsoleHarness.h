#pragma once

#include "ConsoleContext.h"
#include "MainWindow.h"
#include "ScriptedMessagePort.h"
#include "TestDb.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

// A console clock that stands where the test puts it; given several readings, it hands them out
// one per reading and then stays at the last.
class TestClock : public hv::Clock {
public:
    QDateTime now() const override { return m_at.size() > 1 ? m_at.takeFirst() : m_at.front(); }
    void set(const QDateTime& at) { m_at = {at}; }
    void setReadings(const QList<QDateTime>& readings) { m_at = readings; }

private:
    mutable QList<QDateTime> m_at{QDateTime::currentDateTime()};
};

// One console as a test drives it: scripted boxes, a scripted end, a clock that stands still,
// and a halvane.ini of the test's own.
struct ConsoleHarness {
    ScriptedMessagePort msg;
    ScriptedExit exit;
    TestClock clock;
    ConsoleContext ctx{msg, exit, clock, nullptr, QString()};
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> form1;

    QString iniPath() const { return dir.filePath(QStringLiteral("halvane.ini")); }

    void writeIni(const QByteArray& content) {
        QFile f(iniPath());
        if (!f.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(iniPath()));
        f.write(content);
    }

    MainWindow& make() {
        form1 = std::make_unique<MainWindow>(ctx, iniPath());
        return *form1;
    }

    // A loaded, shown and active main window against the private server.
    MainWindow& started() {
        writeIni("MYSQLSERVERNAME=" + testdb::host().toLatin1() + "\r\n");
        make();
        form1->load();
        form1->show();
        if (!QTest::qWaitForWindowActive(form1.get())) qFatal("the main window did not become active");
        return *form1;
    }

    QComboBox* list(const char* name) const { return form1->findChild<QComboBox*>(QLatin1String(name)); }

    void choose(const QString& code, const QString& location) {
        for (auto [name, text] : {std::pair{"Combo1", code}, std::pair{"Combo2", location}}) {
            QComboBox* l = list(name);
            const int i = l->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
            if (i < 0) qFatal("%s holds no entry %s", name, qPrintable(text));
            l->setCurrentIndex(i);
        }
    }

    QStringList titles() const {
        QStringList t;
        for (const ShownBox& b : msg.boxes)
            t << b.title;
        return t;
    }
};

// Runs fn on the next modal window the code under test opens and waits for.
inline void onNextModal(std::function<void(QWidget*)> fn) {
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
