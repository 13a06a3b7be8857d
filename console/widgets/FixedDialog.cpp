#include "widgets/FixedDialog.h"

#include "widgets/WindowParts.h"

#include <QKeyEvent>

namespace hv {

FixedDialog::FixedDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FixedDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    WindowParts::centreOnScreen(this);
}

} // namespace hv
