#pragma once

#include "widgets/FixedDialog.h"

class QAction;

namespace hv {

class FocusHolder;
struct ConsoleContext;

// The administration window Form3 ("Properties"): opens the three catalogue editors, sets the tray
// tooltip text of every workstation, turns reading alerts aloud on or off for all of them and runs
// the reports.
class AdminWindow : public FixedDialog {
    Q_OBJECT
public:
    explicit AdminWindow(ConsoleContext& ctx);

    // Shows the one administration window, a fresh one unless it is already open; an open one is
    // brought forward.
    static AdminWindow* open(ConsoleContext& ctx);
    // The open administration window, if any.
    static AdminWindow* current();

    void editToolTipText();
    // Turns reading alerts aloud on or off on every workstation.
    void setReadAloud(bool on);

private:
    void openEditor(int which);
    void showReadAloud();

    ConsoleContext& m_ctx;
    FocusHolder* m_holder = nullptr;
    QAction* m_readAloud = nullptr;
};

} // namespace hv
