#include "mainwindow/CustomMessageDialog.h"

#include "widgets/LimitedTextEdit.h"
#include "widgets/WindowParts.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace hv {

CustomMessageDialog::CustomMessageDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Custom Code Message"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    // Enter saves the message instead of breaking the line.
    Text1 = new LimitedTextEdit(kMaxLength, LimitedTextEdit::Enter::Finishes, this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setToolTip(QStringLiteral("Type your custom message. You can't use the Enter key. Max is 600 Characters"));

    // Enter belongs to the message field, which saves on it; no button may take it over.
    command1 = WindowParts::button(QStringLiteral("command1"), QStringLiteral("OK"),
                                   QStringLiteral("Click here to save this record"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text1, 1);
    layout->addWidget(command1, 0, Qt::AlignHCenter);
    command1->setMinimumWidth(110);

    setFixedSize(480, 260);
    setTabOrder(Text1, command1);
    Text1->setFocus();

    connect(command1, &QPushButton::clicked, this, &CustomMessageDialog::command1_Click);
    connect(Text1, &LimitedTextEdit::enterPressed, this, &CustomMessageDialog::command1_Click);
}

void CustomMessageDialog::command1_Click() {
    const QString typed = Text1->toPlainText();
    if (!typed.isEmpty()) m_message = typed;
    accept();
}

} // namespace hv
