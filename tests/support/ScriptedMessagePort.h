#pragma once

#include "Ports.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// One box as a user would have seen it.
struct ShownBox {
    QString title;
    QString text;
    hv::Buttons buttons;
    hv::Icon icon;
    QString focusAtShow; // objectName of the widget that held the focus when the box came up
};

// Records every box and answers from a script. An unscripted question is answered No, an
// unscripted input box is cancelled.
class ScriptedMessagePort : public hv::MessagePort {
public:
    hv::Answer show(const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon) override;
    QString input(const QString& prompt, const QString& title) override;

    QList<ShownBox> boxes;
    QList<hv::Answer> answers;
    QStringList inputs;
    QList<QPair<QString, QString>> prompts; // (prompt, title) of each input box
    std::function<void(const ShownBox&)> onShow;
};

// Records that the program would have ended, and stops the handler that decided it.
class ScriptedExit : public hv::ExitPort {
public:
    [[noreturn]] void endProgram() override;
    int ends = 0;
};
