// halvane.ini as anything a disk or an editor can hand over, through the one reader of the
// programs. Beyond crashes and hangs, the reader's rules must hold: the first line alone makes the
// host name and no line break ever reaches it, a quoted first field keeps its quotes out of the
// host, no value of a further line holds a control character, a cluster node is a host named
// once, and a quoted value comes back exactly as written between its quotes.
#include "IniFile.h"
#include "IniSettings.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule) {
    fprintf(stderr, "broken rule: %s\n", rule);
    abort();
}

bool hasControl(const QString& text) {
    for (QChar c : text)
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F) return true;
    return false;
}

void firstLineRules(const QByteArray& content, const hv::IniSettings& s) {
    const QString host = hv::hostFromIniText(content);
    if (s.strDataPath != host) broken("the settings value and the first-line reader disagree");
    if (host.contains(u'\n') || host.contains(u'\r')) broken("a line break reached the host name");

    const qsizetype nl = content.indexOf('\n');
    const QByteArray firstLine = nl < 0 ? content : content.left(nl);
    if (hv::IniSettings::fromText(firstLine + "\r\nMYSQLSERVERNAME=other\nMORVIKUSER=x\n").strDataPath != host)
        broken("a line after the first changed the host name");

    QByteArray body = firstLine;
    if (body.startsWith("\xEF\xBB\xBF")) body.remove(0, 3);
    if (const qsizetype cr = body.indexOf('\r'); cr >= 0) body.truncate(cr);
    const QString line = QString::fromUtf8(body);
    qsizetype i = 0;
    while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
        ++i;
    if (i < line.size() && line[i] == u'"') {
        if (host.contains(u'"')) broken("a quoted field kept a quote in the host name");
    } else if (host.contains(u',')) {
        broken("an unquoted field ran past its comma");
    }
}

void furtherLineRules(const QByteArray& content, const hv::IniSettings& s) {
    for (const QString* value : {&s.morvikUser, &s.morvikPassword, &s.halvaneUser, &s.halvanePassword, &s.sslCa,
                                 &s.sslCert, &s.sslKey, &s.capSender})
        if (hasControl(*value)) broken("a control character reached a setting");
    QStringList seen{s.strDataPath};
    for (const QString& host : s.furtherServers) {
        if (host.isEmpty() || host.contains(u',') || hasControl(host)) broken("a cluster node is no host name");
        if (seen.contains(host, Qt::CaseInsensitive)) broken("a host was named twice");
        seen << host;
    }
    const int lines = int(content.count('\n')) + 1;
    for (const hv::IniSettings::Problem& p : s.problems)
        if (p.line < 2 || p.line > lines || p.text.isEmpty()) broken("a problem names no line of the file");
}

// The fuzzer's bytes as a value between quotes: what is between them is the value, exactly.
void quoteRule(const QByteArray& data) {
    QString value;
    for (QChar c : QString::fromUtf8(data))
        if (!hasControl(QString(c))) value += c;
    const QByteArray quoted = "MYSQLSERVERNAME=db1\r\nMORVIKPASSWORD=\"" + value.toUtf8() + "\"\r\n";
    const hv::IniSettings s = hv::IniSettings::fromText(quoted);
    if (s.morvikPassword != value || !s.problems.isEmpty()) broken("a quoted value did not come back as written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const hv::IniSettings s = hv::IniSettings::fromText(content, QStringLiteral("/etc/halvane"));
    firstLineRules(content, s);
    furtherLineRules(content, s);
    quoteRule(content);
    return 0;
}
