#pragma once
// Ports for measurements of console code: every box is answered with OK and printed, so that an
// unexpected box shows in the output and spoils no figure silently.

#include "Ports.h"

#include <cstdio>

namespace bench {

class PrintingMessagePort : public hv::MessagePort {
public:
    hv::Answer show(const QString& title, const QString& text, hv::Buttons, hv::Icon) override {
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(title), qPrintable(text));
        ++shown;
        return hv::Answer::Ok;
    }
    QString input(const QString&, const QString&) override { return {}; }
    int shown = 0;
};

class NoExit : public hv::ExitPort {
public:
    [[noreturn]] void endProgram() override { throw hv::ProgramEnded{}; }
};

} // namespace bench
