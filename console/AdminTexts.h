#pragma once

#include <QString>

namespace hv {
class Failure;
}

// Texts and small rules shared by the login, the administration window and the catalogue editors.
namespace admin {

inline const QString kWrongPasswordTitle = QStringLiteral("Wrong Password");
inline const QString kWrongPasswordText =
    QStringLiteral("You entered an incorrect password. This application will now close.");

// Removes leading and trailing space characters only; tabs and other blanks inside or around stay.
QString trimSpaces(const QString& text);

// One sentence telling a user why the database did not do what was asked.
QString reasonFor(const hv::Failure& failure);

} // namespace admin

class QWidget;

namespace admin {

// The window flags of the console's fixed-size dialog windows: a title and a close box, no
// minimise or maximise box.
void makeFixedDialog(QWidget* window);
// Centres a window on the screen it is on.
void centreOnScreen(QWidget* window);

} // namespace admin
