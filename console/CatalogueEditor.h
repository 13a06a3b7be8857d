#pragma once

#include "EditorConfig.h"

#include <QDialog>
#include <QList>
#include <QStringList>
#include <QVariantList>
#include <memory>

class FocusHolder;
class QPushButton;
class QToolButton;
struct ConsoleContext;
namespace hv {
class Connection;
class Failure;
} // namespace hv

// The catalogue editors Form4 (users), Form5 (locations) and Form6 (codes): one record at a time
// over the whole table in name order. One class builds all three from their EditorConfig.
//
// The table has no key, so the row on screen is identified by the values it was read with: a save
// or delete changes exactly that row, and one that another console changed or deleted meanwhile is
// reported instead of overwritten.
class CatalogueEditor : public QDialog {
    Q_OBJECT
public:
    CatalogueEditor(EditorConfig config, ConsoleContext& ctx, QWidget* parent = nullptr);
    ~CatalogueEditor() override;

    // Window load: the connection, the rows, the first row on screen. False when the window could
    // not load and is not to be shown (its messages have been shown).
    bool load();

    // Opens an editor modally and returns when it is closed; asking again while one is open
    // brings the open one forward.
    static void showModal(const EditorConfig& config, ConsoleContext& ctx, QWidget* parent);

    const EditorConfig& config() const { return m_config; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QString fieldText(int i) const;
    void setFieldText(int i, const QString& text);
    void clearField(int i);
    void focusHolder();
    void focusField(int i);
    bool addMode() const;
    void setBrowseCaption();
    void enableBrowsing();

    bool bof() const { return m_rows.isEmpty() || m_pos < 0; }
    bool eof() const { return m_rows.isEmpty() || m_pos >= m_rows.size(); }

    void openConnection();
    void openMainSet();
    void fillfields();
    bool reloadrecords();
    void dropConnection();
    void reportFailure(const QString& title, const QString& what, const hv::Failure& f);
    void reportChangedElsewhere(const QString& outcome);
    QString lockCondition() const;

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
    std::unique_ptr<hv::Connection> m_conn;
    // The main record set: the rows as read, in name order, and the current position
    // (-1 before the first row, size() after the last).
    QList<QVariantList> m_rows;
    int m_pos = -1;
    // What each field showed when the current row was put on screen; an untouched field writes
    // the stored value back exactly (NULL stays NULL, a long value stays whole).
    QStringList m_filled;

    FocusHolder* m_holder = nullptr;
    QList<QWidget*> m_fields;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QPushButton* m_command4 = nullptr;
    QToolButton* m_previous = nullptr;
    QToolButton* m_next = nullptr;
};
