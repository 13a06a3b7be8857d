#pragma once

#include <QString>
#include <QStringView>

namespace hv {

// The text without the given characters at either end; those inside stay. The operators' texts
// have always lost their spaces only; halvane.ini also loses tabs.
QString trimmedOf(const QString& text, QStringView blanks = u" ");

} // namespace hv
