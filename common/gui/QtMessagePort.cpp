#include "QtMessagePort.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace hv {

Answer QtMessagePort::show(const QString& title, const QString& text, Buttons buttons, Icon icon) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int r = box.exec();
    if (buttons == Buttons::YesNo) return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
    return Answer::Ok;
}

QString QtMessagePort::input(const QString& prompt, const QString& title) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), title, prompt, QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

} // namespace hv
