#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

class QLabel;
class QScreen;

namespace hv {

class StackKeeper;

// frmPopup: the yellow speech balloon with the current alerts near the bottom-right corner of one
// screen (DesktopPopup puts one on every screen). Shaped to the balloon, above every other window for as long as it is
// shown (also above one raised, opened or made full-screen after it), and it never takes the focus. A click on it
// empties lblMsg and closes it; it is destroyed when it closes.
class PopupWindow : public QWidget {
    Q_OBJECT

public:
    // Designed in twips; these are the design values.
    static constexpr int WidthTwips = 5700;
    static constexpr int HeightTwips = 1800;
    static constexpr int RightMarginTwips = 900;  // 60 pixels at 96 dpi
    static constexpr int BottomMarginTwips = 450; // 30 pixels at 96 dpi

    // On the given screen; none means the primary screen.
    explicit PopupWindow(QScreen* screen = nullptr);
    ~PopupWindow() override;

    void setMessage(const QString& text);
    QString message() const;
    // One block per alert, newest first, as many as lblMsg holds; when some are left out (or the
    // first is cut short), its last line says how many more alerts are live.
    void setBlocks(const QStringList& blocks);
    // That line.
    static QString moreLine(int more);

    // The window that opened the popup; released when it closes.
    QWidget* Caller() const { return m_caller; }
    void setCaller(QWidget* caller) { m_caller = caller; }

    // Twips to pixels on the primary screen's logical dpi: the balloon has one size on every screen.
    static int pixels(int twips);
    // Where the popup belongs: right edge 60 px left of the primary screen's right edge, bottom
    // edge 30 px above its bottom edge (the whole screen, not the work area). On any other
    // screen the same margins are kept from that screen's work area, clear of its panels.
    static QRect placement(const QScreen* screen = nullptr);

signals:
    // The user clicked the balloon; it closes itself, and its siblings on other screens follow.
    void dismissed();
    // The user closed it with a click (the poller's own closing does not count).
    void closedByUser();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool fits(const QString& text) const;

    QLabel* m_balloon;
    QLabel* m_msg;
    QLabel* m_dismiss;
    QPointer<QWidget> m_caller;
    std::unique_ptr<StackKeeper> m_keeper;
};

} // namespace hv
