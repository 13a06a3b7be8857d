#pragma once

#include "ConsoleContext.h"
#include "ScriptedMessagePort.h"

#include <QString>
#include <QStringList>

class QWidget;

// The ports a console window needs, scripted, pointed at the private server.
struct AdminKit {
    ScriptedMessagePort msg;
    ScriptedExit exit;
    hv::FixedClock clock;
    ConsoleContext ctx{msg, exit, clock, nullptr, QString()};
    AdminKit();
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
