#include "SendOptions.h"

#include "Strings.h"
#include "UsageError.h"

#include <QHash>
#include <QRegularExpression>

namespace hv {

namespace {

const QStringList kValued = {"--code", "--location", "--message", "--cap", "--since", "--ini"};
const QStringList kFlags = {"--help", "--exercise", "--export-cap"};

[[noreturn]] void usage(const QString& reason) {
    throw UsageError(reason);
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
    const bool exportCap = flags.contains(QStringLiteral("--export-cap"));
    if (int(submit) + int(cap) + int(exportCap) > 1)
        usage(QStringLiteral("--code/--location, --cap and --export-cap go one at a time"));
    if (!submit && !cap && !exportCap)
        usage(QStringLiteral("nothing to do: give --code and --location, --cap or --export-cap"));
    if (values.contains(QStringLiteral("--message")) && !submit) usage(QStringLiteral("--message goes with --code"));
    if (flags.contains(QStringLiteral("--exercise")) && !cap) usage(QStringLiteral("--exercise goes with --cap"));
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
    } else if (cap) {
        o.mode = Mode::Cap;
        o.capFile = values.value(QStringLiteral("--cap"));
        if (o.capFile.isEmpty()) usage(QStringLiteral("--cap needs a file name, or - for standard input"));
        o.exercise = flags.contains(QStringLiteral("--exercise"));
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
  halvane-send --code NAME --location NAME [--message TEXT] [--ini FILE]
  halvane-send --cap FILE|- [--exercise] [--ini FILE]
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
  --cap FILE        sends the alert of a CAP 1.2 alert message read from FILE,
                    or from standard input for -. <event> names the code, the
                    <areaDesc> of the first <area> the location, and
                    <headline>, <description> and <instruction> make the
                    message (less a headline or instruction that only
                    repeats the code or its standing comments, which the
                    popup shows anyway). Alert and Update messages are
                    sent; a Cancel whose <references> name alerts exported
                    from this site cancels those still shown; Ack and
                    Error messages are refused.
                    Documents over 1 MiB, with a <!DOCTYPE>, or nested
                    deeper than 16 elements are refused where that shows,
                    without reading on.
  --exercise        with --cap: also sends messages whose <status> is not
                    Actual (Exercise, Test, System, Draft)
  --export-cap      writes the logged alerts to standard output as an Atom
                    feed with one CAP 1.2 alert in each entry, newest first.
                    <sender> is the CAPSENDER= line of halvane.ini, else
                    halvane@ and the database server's name.
  --since DATE      with --export-cap: only alerts dated DATE (YYYY-MM-DD)
                    or later
  --ini FILE        reads FILE instead of the halvane.ini beside the program
  -h, --help        shows this text

halvane.ini: the first line names the database server
(MYSQLSERVERNAME=host), as for the console and the tray client. A later line
CAPSENDER=name sets the <sender> of exported alerts.

Exit status:
  0  done: the alert is stored (both rows) or cancelled, or the feed or this
     text written
  1  anything else: halvane.ini missing or empty, rights denied, the
     database refused a statement, the output could not be written
  2  the command line is wrong
  3  the code or the location is not in the catalogue
  4  the database server cannot be reached or did not answer in time (worth
     trying again)
  5  the database server refused the login
  6  the CAP document is malformed or hostile, not Actual without
     --exercise, an Ack or Error message, or a Cancel of an alert that this
     site did not send
)");
}

} // namespace hv
