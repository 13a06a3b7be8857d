#pragma once

#include <QDialog>

namespace hv {

// The console's fixed-size dialog windows (the login, the administration window, the editors): a
// title and a close box, no minimise or maximise box, centred on the screen whenever shown.
// Escape does not close them; their own buttons and the close box do.
class FixedDialog : public QDialog {
    Q_OBJECT
public:
    explicit FixedDialog(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

} // namespace hv
