#include "SendOptions.h"

#include "Strings.h"
#include "UsageError.h"

#include <QHash>
#include <QRegularExpression>

namespace hv {

namespace {

const QStringList kValued = {"--code",   "--location", "--message", "--cap",     "--since",    "--ini",
                             "--follow", "--map",      "--every",   "--max-age", "--language", "--token"};
const QStringList kFlags = {"--help", "--exercise", "--export-cap"};

[[noreturn]] void usage(const QString& reason) {
    throw UsageError(reason);
}

// A whole number of seconds within the bounds, as the option's value.
qint64 seconds(const QString& option, const QString& value, qint64 least, qint64 most) {
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,9}$"));
    const qint64 n = value.toLongLong();
    if (!form.match(value).hasMatch() || n < least || n > most)
        usage(QStringLiteral("%1 takes a number of seconds from %2 to %3, not \"%4\"")
                  .arg(option)
                  .arg(least)
                  .arg(most)
                  .arg(value));
    return n;
}

} // namespace

SendOptions SendOptions::parse(const QStringList& arguments) {
    QHash<QString, QString> values;
    QHash<QString, bool> flags;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments[i];
        std::optional<QString> value;
        if (name == u"-h") name = QStringLiteral("--help");
        if (const qsizetype eq = name.indexOf(u'='); name.startsWith(u"--") && eq > 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (kFlags.contains(name)) {
            if (value) usage(QStringLiteral("%1 takes no value").arg(name));
            if (flags.contains(name)) usage(QStringLiteral("%1 is given twice").arg(name));
            flags.insert(name, true);
        } else if (kValued.contains(name)) {
            if (!value) {
                // The next argument is the value, unless it is the next option.
                if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(u"--"))
                    usage(QStringLiteral("%1 needs a value").arg(name));
                value = arguments[++i];
            }
            if (values.contains(name)) usage(QStringLiteral("%1 is given twice").arg(name));
            values.insert(name, *value);
        } else if (name.startsWith(u'-') && name != u"-") {
            usage(QStringLiteral("unknown option %1").arg(name));
        } else {
            usage(QStringLiteral("unexpected argument \"%1\"").arg(name));
        }
    }

    SendOptions o;
    if (flags.contains(QStringLiteral("--help"))) return o;

    const bool submit = values.contains(QStringLiteral("--code")) || values.contains(QStringLiteral("--location"));
    const bool cap = values.contains(QStringLiteral("--cap"));
    const bool follow = values.contains(QStringLiteral("--follow"));
    const bool exportCap = flags.contains(QStringLiteral("--export-cap"));
    if (int(submit) + int(cap) + int(follow) + int(exportCap) > 1)
        usage(QStringLiteral("--code/--location, --cap, --follow and --export-cap go one at a time"));
    if (!submit && !cap && !follow && !exportCap)
        usage(QStringLiteral("nothing to do: give --code and --location, --cap, --follow or --export-cap"));
    if (values.contains(QStringLiteral("--message")) && !submit) usage(QStringLiteral("--message goes with --code"));
    if (values.contains(QStringLiteral("--token")) && !submit) usage(QStringLiteral("--token goes with --code"));
    for (const char* option : {"--map", "--max-age", "--language"})
        if (values.contains(QLatin1String(option)) && !cap && !follow)
            usage(QStringLiteral("%1 goes with --cap or --follow").arg(QLatin1String(option)));
    if (flags.contains(QStringLiteral("--exercise")) && !cap && !follow)
        usage(QStringLiteral("--exercise goes with --cap or --follow"));
    if (values.contains(QStringLiteral("--every")) && !follow) usage(QStringLiteral("--every goes with --follow"));
    if (values.contains(QStringLiteral("--since")) && !exportCap)
        usage(QStringLiteral("--since goes with --export-cap"));

    if (values.contains(QStringLiteral("--ini"))) {
        o.iniPath = values.value(QStringLiteral("--ini"));
        if (o.iniPath.isEmpty()) usage(QStringLiteral("--ini needs a file name"));
    }
    if (submit) {
        o.mode = Mode::Submit;
        if (!values.contains(QStringLiteral("--code"))) usage(QStringLiteral("--location needs --code"));
        if (!values.contains(QStringLiteral("--location"))) usage(QStringLiteral("--code needs --location"));
        // Taken exactly as given, as the console takes the text its lists show; only a name that
        // is nothing but blanks is no choice at all.
        o.code = values.value(QStringLiteral("--code"));
        o.location = values.value(QStringLiteral("--location"));
        if (trimmedOf(o.code).isEmpty()) usage(QStringLiteral("--code is empty"));
        if (trimmedOf(o.location).isEmpty()) usage(QStringLiteral("--location is empty"));
        if (values.contains(QStringLiteral("--message"))) o.message = values.value(QStringLiteral("--message"));
        if (values.contains(QStringLiteral("--token"))) {
            o.token = values.value(QStringLiteral("--token"));
            static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9._:-]{8,64}$"));
            if (!form.match(o.token).hasMatch())
                usage(QStringLiteral("--token takes 8 to 64 letters, digits, '.', '_', ':' or '-', not \"%1\"")
                          .arg(o.token));
        }
    } else if (cap || follow) {
        if (cap) {
            o.mode = Mode::Cap;
            o.capFile = values.value(QStringLiteral("--cap"));
            if (o.capFile.isEmpty()) usage(QStringLiteral("--cap needs a file name, or - for standard input"));
        } else {
            o.mode = Mode::Follow;
            const QString url = values.value(QStringLiteral("--follow"));
            o.followUrl = QUrl(url, QUrl::StrictMode);
            const QString scheme = o.followUrl.scheme().toLower();
            if (!o.followUrl.isValid() || o.followUrl.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
                usage(QStringLiteral("--follow takes an http or https address, not \"%1\"").arg(url));
            if (values.contains(QStringLiteral("--every")))
                o.everySeconds =
                    int(seconds(QStringLiteral("--every"), values.value(QStringLiteral("--every")), 1, 86400));
        }
        o.exercise = flags.contains(QStringLiteral("--exercise"));
        if (values.contains(QStringLiteral("--map"))) {
            o.mapFile = values.value(QStringLiteral("--map"));
            if (o.mapFile.isEmpty()) usage(QStringLiteral("--map needs a file name"));
        }
        if (values.contains(QStringLiteral("--max-age")))
            o.maxAgeSeconds =
                seconds(QStringLiteral("--max-age"), values.value(QStringLiteral("--max-age")), 1, 7 * 86400);
        if (values.contains(QStringLiteral("--language"))) {
            o.language = values.value(QStringLiteral("--language"));
            static const QRegularExpression tag(QStringLiteral("^[A-Za-z]{1,8}(-[A-Za-z0-9]{1,8})*$"));
            if (!tag.match(o.language).hasMatch())
                usage(QStringLiteral("--language takes a language as CAP writes it (en-US, de, fr-CA), not \"%1\"")
                          .arg(o.language));
        }
    } else {
        o.mode = Mode::ExportCap;
        if (values.contains(QStringLiteral("--since"))) {
            const QString since = values.value(QStringLiteral("--since"));
            static const QRegularExpression form(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
            const QDate date = QDate::fromString(since, QStringLiteral("yyyy-MM-dd"));
            if (!form.match(since).hasMatch() || !date.isValid())
                usage(QStringLiteral("--since takes a date as YYYY-MM-DD, not \"%1\"").arg(since));
            o.since = date;
        }
    }
    return o;
}

QString SendOptions::helpText() {
    return QStringLiteral(
        R"(Usage:
  halvane-send --code NAME --location NAME [--message TEXT] [--token TOKEN]
               [--ini FILE]
  halvane-send --cap FILE|- [--map FILE] [--max-age SECONDS] [--language LANG]
               [--exercise] [--ini FILE]
  halvane-send --follow URL [--map FILE] [--every SECONDS] [--max-age SECONDS]
               [--language LANG] [--exercise] [--ini FILE]
  halvane-send --export-cap [--since DATE] [--ini FILE]
  halvane-send --help

Sends an alert to every workstation running Morvik, exactly as the console's
"Submit" does: old live alerts are purged, the code's standing comments are
looked up, and the alert and its log entry are stored together, dated by this
computer's clock (the time to the minute). It never asks anything; it says
what went wrong in one line on standard error and in its exit status.

Options:
  --code NAME       the alert code, a name from the codes catalogue (in
                    another letter case too, where only one name matches)
  --location NAME   where it applies, a name from the locations catalogue
                    (the same)
  --message TEXT    the custom message shown in the popup (600 characters at
                    most; a longer one is cut, and standard error says so).
                    Without it the alert has no custom message.
  --cap FILE        takes the CAP 1.2 or 1.1 alert message read from FILE, or
                    from standard input for -, once: the same message (the
                    same sender, identifier and sent) again is skipped.
                    Every <info> in the site's language is read, and each of
                    its <area>s: one alert per location, at most 5.
                    Without --map, <event> names the code and <areaDesc> the
                    location. <headline>, <description> and <instruction>
                    make the message (less a headline or instruction that
                    only repeats the code or its standing comments, which
                    the popup shows anyway). An Update takes back the alerts
                    of the messages it references and sends its own; a
                    Cancel (or an Update whose every <info> gives the
                    response type AllClear) takes back the alerts of the
                    messages of its own sender that it references, and the
                    alerts of this site's CAP export that it names. Refused:
                    Ack and Error messages, an Update or Cancel without
                    <references>, a message sent more than 60 seconds ahead
                    of this computer's clock, and one whose every <info> has
                    expired or, without <expires>, was sent longer ago than
                    --max-age; documents over 1 MiB, with a <!DOCTYPE>, or
                    nested deeper than 16 elements, where that shows,
                    without reading on.
  --follow URL      follows an Atom or RSS feed of CAP documents (or one CAP
                    document) at an http or https address, in the
                    foreground until SIGTERM or SIGINT: every --every
                    seconds it fetches the feed and takes each new message
                    as --cap takes one, except that no feed may take back
                    this site's own exported alerts. One line per decision
                    on standard output; a feed that cannot be fetched is
                    tried again later, waiting longer each time up to 15
                    minutes.
  --map FILE        with --cap or --follow: the site's mapping from events
                    and areas to its codes and locations (see the README);
                    a message it maps to no code or no location is skipped
  --every SECONDS   with --follow: how often the feed is fetched (60)
  --max-age SECONDS with --cap or --follow: how long after it was sent a
                    message without <expires> is taken (3600)
  --language LANG   with --cap or --follow: the site's language as CAP
                    writes it (en-US, de, fr-CA); of several <info> blocks
                    those in it are read, else those in the message's first
                    language
  --exercise        with --cap or --follow: also takes messages whose
                    <status> is not Actual (Exercise, Test, System, Draft)
  --export-cap      writes the logged alerts to standard output as an Atom
                    feed with one CAP 1.2 alert in each entry, newest first.
                    <sender> is the CAPSENDER= line of halvane.ini, else
                    halvane@ and the database server's name.
  --since DATE      with --export-cap: only alerts dated DATE (YYYY-MM-DD)
                    or later
  --token TOKEN     with --code: names this submission (8 to 64 letters,
                    digits, '.', '_', ':', '-'; uuidgen makes one), so that
                    sending it again with the same token after status 7 (or
                    4) stores it once: an alert stored by an earlier try is
                    reported as stored and not sent again
  --ini FILE        reads FILE instead of the halvane.ini beside the program
  -h, --help        shows this text

halvane.ini: the first line names the database server
(MYSQLSERVERNAME=host), as for the console and the tray client. A later line
CAPSENDER=name sets the <sender> of exported alerts.

Exit status:
  0  done: the alert is stored (both rows) or cancelled, the CAP message was
     taken already, --follow was stopped, or the feed or this text written
  1  anything else: halvane.ini missing or empty, rights denied, the
     database refused a statement or lacks the table of CAP messages
     (--follow), the output could not be written
  2  the command line is wrong, or the mapping file it names
  3  the code or the location is not in the catalogue; the CAP message maps
     to no code or no location
  4  the database server cannot be reached or did not answer in time (worth
     trying again)
  5  the database server refused the login
  6  the CAP document is malformed or hostile, not Actual without
     --exercise, not current, an Ack or Error message, or an Update or Cancel
     of what this site does not hold or its sender may not touch
  7  the alert may or may not have been stored: the database server took the
     request and its answer was lost, and it could not be asked since. Send
     it again with the same --token once the server answers: it is stored
     once. (Without --token, sending again may store it twice.)
)");
}

} // namespace hv
