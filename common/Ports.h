#pragma once

#include <QDateTime>
#include <QString>

namespace hv {

// What the logic asks of the outside world. The programs wire the real desktop services; tests
// wire scripted ones.

enum class Icon { None, Information, Warning, Critical, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

// Message boxes are the only way the system tells a user anything.
class MessagePort {
public:
    virtual ~MessagePort();
    virtual Answer show(const QString& title, const QString& text, Buttons buttons, Icon icon) = 0;
    // The input box: the typed text on OK, the empty text on Cancel.
    virtual QString input(const QString& prompt, const QString& title) = 0;
};

// Thrown by a scripted end so that nothing of the handler that decided it runs on.
struct ProgramEnded {};

// "End the program at once": no closing questions, no further steps.
class ExitPort {
public:
    virtual ~ExitPort();
    [[noreturn]] virtual void endProgram() = 0;
};

// Ends the process at once (the real one).
class ProcessExit : public ExitPort {
public:
    [[noreturn]] void endProgram() override;
};

class Clock {
public:
    virtual ~Clock();
    virtual QDateTime now() const = 0;
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace hv
