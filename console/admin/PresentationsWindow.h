#pragma once

#include "PresentationStore.h"
#include "widgets/FixedDialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace hv {

struct ConsoleContext;

// How each code's alerts are presented on the workstations: in the balloon or over the whole
// screen, rung once or until answered, and the answers offered (none, "Acknowledge", or up to
// four of the site's own, one perhaps the call for help). A change is stored with Save; choosing
// another code with a change not saved asks first.
class PresentationsWindow : public FixedDialog {
    Q_OBJECT
public:
    PresentationsWindow(ConsoleContext& ctx, QWidget* parent = nullptr);

    // Opens the one window modally from the administration window, unless it cannot be read.
    static void showModal(ConsoleContext& ctx, QWidget* parent);

    // Reads everything again; false (after the failure's box) when the database could not be read.
    bool load();
    // Stores the chosen code's presentation as the form has it; false when it was not stored.
    bool save();
    // The presentation as the form has it now.
    AlertPresentation edited() const;

private:
    void showCode();
    void showHelpChoices();
    void formChanged();
    bool changed() const;

    ConsoleContext& m_ctx;
    PresentationStore::Picture m_picture;
    QString m_code;
    bool m_showing = false;

    QListWidget* m_codes = nullptr;
    QComboBox* m_presentation = nullptr;
    QComboBox* m_ring = nullptr;
    QComboBox* m_answers = nullptr;
    QList<QLineEdit*> m_own;
    QComboBox* m_help = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_save = nullptr;
};

} // namespace hv
