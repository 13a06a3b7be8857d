#include "widgets/FocusHolder.h"

namespace hv {

namespace {
// Far enough up and left that no window of these sizes ever shows it.
constexpr int kOutside = -3000;
} // namespace

FocusHolder::FocusHolder(const QString& objectName, QWidget* parent) : QLineEdit(parent) {
    setObjectName(objectName);
    setFocusPolicy(Qt::StrongFocus);
    setFrame(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    park();
}

void FocusHolder::moveEvent(QMoveEvent* event) {
    QLineEdit::moveEvent(event);
    // A layout pass must never bring it into view.
    if (x() != kOutside || y() != kOutside) park();
}

void FocusHolder::park() {
    setGeometry(kOutside, kOutside, 40, 20);
}

} // namespace hv
