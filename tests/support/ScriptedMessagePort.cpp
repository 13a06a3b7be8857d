#include "ScriptedMessagePort.h"

#include <QApplication>
#include <QWidget>

hv::Answer ScriptedMessagePort::show(const QString& title, const QString& text, hv::Buttons buttons, hv::Icon icon) {
    ShownBox box{title, text, buttons, icon, {}};
    if (QWidget* w = QApplication::focusWidget()) box.focusAtShow = w->objectName();
    boxes.append(box);
    if (onShow) onShow(box);
    if (!answers.isEmpty()) return answers.takeFirst();
    return buttons == hv::Buttons::YesNo ? hv::Answer::No : hv::Answer::Ok;
}

QString ScriptedMessagePort::input(const QString& prompt, const QString& title) {
    prompts.append({prompt, title});
    return inputs.isEmpty() ? QString() : inputs.takeFirst();
}

void ScriptedExit::endProgram() {
    ++ends;
    throw hv::ProgramEnded{};
}
