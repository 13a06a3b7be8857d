#pragma once

#include "CapAlert.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace hv {

class CapMapping;

// What a CAP alert message asks of this system, and what this system refuses of it (as CapError):
// the rules that hold for a message from the command line and from a followed feed alike.
class CapIntake {
public:
    enum class Action {
        Submit, // Alert and Update: new alerts on every workstation
        Cancel, // Cancel, and an Update that gives the all-clear: earlier alerts are withdrawn
    };

    // What the site says about the messages it takes.
    struct Rules {
        QDateTime now; // this computer's clock
        // Messages whose <status> is not Actual (Exercise, Test, System, Draft) go out too.
        bool exercise = false;
        // How long after it was sent a message without <expires> is still news.
        qint64 maxAgeSeconds = kDefaultMaxAgeSeconds;
        // The site's language (as CAP writes it, en-US, de, fr-CA); empty: the message's first.
        QString language;
    };
    static constexpr qint64 kDefaultMaxAgeSeconds = 3600;
    // One message becomes at most this many alerts, one per location.
    static constexpr int kMostAlerts = 5;
    // What the database keeps of a sender and an identifier.
    static constexpr qsizetype kMostNameLength = 255;

    // Only Actual messages go out unless exercises are allowed; Ack and Error ask nothing of the
    // workstations; Update and Cancel must name what they update or cancel; a message sent
    // further ahead of this computer's clock than a site's clocks may differ, and one that is no
    // longer current (see considered()), is refused. An Alert or Update needs an <info>.
    static Action actionFor(const CapAlert& alert, const Rules& rules);

    // The <info> blocks that speak for the message: those still current (before their <expires>,
    // or without one, sent no longer ago than the rules allow), in the site's language: those
    // that name it exactly, else those of the same primary language (de for de-CH), else those
    // of the first language the message gives. An <info> without <language> is in en-US.
    static QList<const CapAlert::Info*> considered(const CapAlert& alert, const Rules& rules);

    // An Update whose every <info> has the response type AllClear: nothing is left to do.
    static bool allClear(const CapAlert& alert);

    // The custom message: the headline, the description and the instruction, one to a line. The
    // popup already shows the code and the code's standing comments, so a headline that only
    // repeats the event, or an instruction that only repeats the comments, is not said twice.
    static QString message(const CapAlert::Info& info, const QString& standingComments);

    // The infos as the site's alerts: one per location, at most kMostAlerts, each with the code
    // of the first info that reaches that location. With a mapping, it turns events and areas into
    // the site's names; without one, the event must name a code and the area description a
    // location of the catalogues (the names as the catalogue spells them, see CatalogueName).
    struct Target {
        QString code;
        QString location;
        const CapAlert::Info* info = nullptr;
        // Extreme and Immediate. Where codes have presentations of their own, this is what may
        // choose the full-screen style for a code that has none.
        bool emergency = false;
    };
    struct Targets {
        QList<Target> alerts;
        // What was left out and why, one sentence each.
        QStringList leftOut;
    };
    static Targets targets(const QList<const CapAlert::Info*>& infos, const CapMapping* mapping,
                           const QStringList& codes, const QStringList& locations);
};

} // namespace hv
