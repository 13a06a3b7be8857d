#pragma once

#include <QString>

// Texts that both programs show.
namespace hv::text {

inline const QString kWrongPasswordTitle = QStringLiteral("Wrong Password");
inline const QString kWrongPasswordText =
    QStringLiteral("You entered an incorrect password. This application will now close.");

} // namespace hv::text
