#pragma once

#include <QLineEdit>

namespace hv {

// The text field that several windows keep outside their visible client area, first in tab order.
// Giving it the focus takes the caret and focus frame off every visible control. It must stay
// shown, enabled and focusable: a hidden widget cannot hold the focus.
class FocusHolder : public QLineEdit {
    Q_OBJECT
public:
    FocusHolder(const QString& objectName, QWidget* parent);

protected:
    void moveEvent(QMoveEvent* event) override;

private:
    void park();
};

} // namespace hv
