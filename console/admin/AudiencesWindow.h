#pragma once

#include "AudienceStore.h"
#include "widgets/FixedDialog.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace hv {

struct ConsoleContext;

// Who each alert reaches: the audiences with their host-name patterns and hosts, the codes that
// reach only their location's audience, and the audience of each location. Every change is saved
// at once and the window reads everything again, so that it shows what the submission will use.
class AudiencesWindow : public FixedDialog {
    Q_OBJECT
public:
    AudiencesWindow(ConsoleContext& ctx, QWidget* parent = nullptr);

    // Opens the one window modally from the administration window, unless it cannot be read.
    static void showModal(ConsoleContext& ctx, QWidget* parent);

    // Reads everything again; false (after the failure's box) when the database could not be read.
    bool load();

    void newAudience();
    void renameAudience();
    void deleteAudience();
    void addPattern();
    void addHost();
    void removePattern();

private:
    // Runs one change, then reads everything again; a failure shows its box and changes nothing.
    void change(const std::function<void(AudienceStore&)>& step);
    void showPicture();
    void showAudience();
    void showPatternCount();
    void addMember(const QString& pattern);
    const AudienceStore::Audience* chosen() const;

    ConsoleContext& m_ctx;
    AudienceStore::Picture m_picture;
    int m_chosenId = 0;
    bool m_showing = false;

    QTabWidget* m_tabs = nullptr;
    QListWidget* m_audiences = nullptr;
    QListWidget* m_patterns = nullptr;
    QLineEdit* m_pattern = nullptr;
    QLabel* m_patternCount = nullptr;
    QLabel* m_audienceCount = nullptr;
    QComboBox* m_hosts = nullptr;
    QPushButton* m_rename = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_addPattern = nullptr;
    QPushButton* m_addHost = nullptr;
    QPushButton* m_removePattern = nullptr;
    QListWidget* m_codes = nullptr;
    QTableWidget* m_locations = nullptr;
};

} // namespace hv
