#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace hv {

// What the console's windows make alike: their labels, their buttons and their place on the screen.
class WindowParts {
public:
    // A label that shows its text as plain text, whatever the text holds.
    static QLabel* label(const QString& name, const QString& text, QWidget* parent);
    // A push button that Enter in a field never presses of its own accord.
    static QPushButton* button(const QString& name, const QString& caption, const QString& toolTip, QWidget* parent);
    // Centres the window, frame included, on the screen it is on; one not yet shown on the primary
    // screen, where it will appear.
    static void centreOnScreen(QWidget* window);
};

} // namespace hv
