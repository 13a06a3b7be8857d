#pragma once

#include "FixedClock.h"
#include "ScriptedMessagePort.h"
#include "TestDb.h"
#include "mainwindow/MainWindow.h"
#include "shared/ConsoleContext.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

// One console as a test drives it: scripted boxes, a scripted end, a clock that stands where the
// test puts it, the private server, and a halvane.ini of the test's own for the main window.
struct ConsoleKit {
    ScriptedMessagePort msg;
    ScriptedExit exit;
    FixedClock clock;
    hv::ConsoleContext ctx{msg, exit, clock, nullptr, testdb::host()};
    QTemporaryDir dir;
    std::unique_ptr<hv::MainWindow> form1;

    QString iniPath() const;
    void writeIni(const QByteArray& content);
    // The main window on this kit's halvane.ini, not yet loaded.
    hv::MainWindow& make();
    // A loaded, shown and active main window against the private server.
    // further: halvane.ini's lines after the first (the wake-up channel's, say).
    hv::MainWindow& started(const QByteArray& further = {});

    QComboBox* list(const char* name) const;
    // Chooses an entry of each list, as a user would pick it.
    void choose(const QString& code, const QString& location);
    // The titles of the boxes shown so far.
    QStringList titles() const;
};

// "title | text | buttons | icon" of every box shown, for exact comparison.
QStringList shown(const QList<ShownBox>& boxes);
QString box(const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon);

// The text of a line or multi-line field found by its name.
QString textOf(QWidget* window, const QString& field);
// Puts the text into a field as a user would: click into it, select all, type.
void typeInto(QWidget* window, const QString& field, const QString& text);
void clickButton(QWidget* window, const QString& button);
// The objectName of the widget holding the keyboard focus.
QString focused();

// Runs fn on the next modal window as soon as it is up (driving a window that exec() waits on).
void onNextModal(std::function<void(QWidget*)> fn);
void onNextDialog(std::function<void(QDialog*)> fn);

// The report file's lines (CR LF ends); an empty list when the file does not exist. crlfOnly
// tells whether every line ended in CR LF.
QStringList fileLines(const QString& path, bool* crlfOnly = nullptr);
// The top-level windows of that name.
QList<QWidget*> topLevels(const QString& name);
