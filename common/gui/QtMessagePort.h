#pragma once

#include "Ports.h"

namespace hv {

// Message boxes and the input box on the desktop. Text is always plain: database values such as
// "<b>" are shown as typed, never taken for markup.
class QtMessagePort : public MessagePort {
public:
    Answer show(const QString& title, const QString& text, Buttons buttons, Icon icon) override;
    QString input(const QString& prompt, const QString& title) override;
};

} // namespace hv
