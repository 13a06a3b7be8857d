#pragma once

#include "CatalogueStore.h"
#include "admin/EditorConfig.h"
#include "shared/FailureTable.h"
#include "widgets/FixedDialog.h"

#include <QList>
#include <functional>
#include <optional>

class QPushButton;
class QToolButton;

namespace hv {

class Failure;
class FocusHolder;
class LengthLimit;
struct ConsoleContext;

// The catalogue editors Form4 (users), Form5 (locations) and Form6 (codes): one record at a time
// over the whole table in name order. One class builds all three from their EditorConfig; it
// shows what its CatalogueStore holds (the rows, the current one, the mode) and hands the user's
// actions to it.
class CatalogueEditor : public FixedDialog {
    Q_OBJECT
public:
    CatalogueEditor(EditorConfig config, ConsoleContext& ctx, QWidget* parent = nullptr);
    ~CatalogueEditor() override;

    // Window load: the rows, the first row on screen. False when the window could not load and is
    // not to be shown (its messages have been shown).
    bool load();

    // Opens an editor modally and returns when it is closed; asking again while one is open
    // brings the open one forward.
    static void showModal(const EditorConfig& config, ConsoleContext& ctx, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QString fieldText(int i) const;
    QStringList fieldTexts() const;
    void setFieldText(int i, const QString& text);
    void clearField(int i);
    void focusHolder();
    void focusField(int i);
    // Sets every button (caption, tooltip, enabled) from the state below and the store's mode;
    // called wherever that changes.
    void showButtons();
    // Browsing may go either way again.
    void leaveEnds();

    // Runs one database step; the failure, if it failed.
    std::optional<Failure> attempt(const std::function<void()>& step);
    void report(FailureTable::Operation operation, const Failure& failure);
    void reportChangedElsewhere(const QString& outcome);

    void fillfields();
    bool reloadrecords();

    void onMoveNext();
    void onMovePrevious();
    void onToggleMode();
    void onUpdate();
    void addRow();
    void saveRow();
    void onDelete();
    void onFieldChanged(int i);

    EditorConfig m_config;
    ConsoleContext& m_ctx;
    CatalogueStore m_store;

    FocusHolder* m_holder = nullptr;
    QList<QWidget*> m_fields;
    QList<LengthLimit*> m_limits; // of the single-line fields; null for the others
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QPushButton* m_command4 = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;

    // "Update" may be clicked: the watched field changed last is not empty, or browsing came back.
    bool m_updateAllowed = true;
    // Browsing met the first or the last row: moving on that way is off until a move the other
    // way or the next return to browsing.
    bool m_firstMet = false;
    bool m_lastMet = false;
    // The window has been in add mode: "Add New" carries its run-time tooltip from then on.
    bool m_addModeSeen = false;
};

} // namespace hv
