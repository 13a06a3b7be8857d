#include "IniSettings.h"

#include "IniFile.h"
#include "Strings.h"

#include <QDebug>
#include <QDir>
#include <QHash>
#include <algorithm>
#include <utility>

namespace hv {

namespace {

// Every key of the lines after the first. A new setting is a member of IniSettings and a row
// here (and a line in the README); the reading, the reports and the tests follow from the row.
struct Key {
    QLatin1String name;
    // A setting with one value (the first line wins) ...
    QString IniSettings::*value = nullptr;
    // ... or a list of hosts, one from each line.
    QStringList IniSettings::*hosts = nullptr;
    bool path = false;       // relative to the file's folder
    bool asksForTls = false; // present at all, every database connection is encrypted
    bool asksForMqttTls = false;
    // The hosts are brokers: "host" or "host:port", and the database's first line is no concern.
    bool broker = false;
    // The value names a topic level: no '/', '+' or '#'.
    bool topicLevel = false;
};

const Key kKeys[] = {
    {.name = QLatin1String("MYSQLSERVERNAME"), .hosts = &IniSettings::furtherServers},
    {.name = QLatin1String("MORVIKUSER"), .value = &IniSettings::morvikUser},
    {.name = QLatin1String("MORVIKPASSWORD"), .value = &IniSettings::morvikPassword},
    {.name = QLatin1String("HALVANEUSER"), .value = &IniSettings::halvaneUser},
    {.name = QLatin1String("HALVANEPASSWORD"), .value = &IniSettings::halvanePassword},
    {.name = QLatin1String("MYSQLSSLCA"), .value = &IniSettings::sslCa, .path = true, .asksForTls = true},
    {.name = QLatin1String("MYSQLSSLCERT"), .value = &IniSettings::sslCert, .path = true, .asksForTls = true},
    {.name = QLatin1String("MYSQLSSLKEY"), .value = &IniSettings::sslKey, .path = true, .asksForTls = true},
    {.name = QLatin1String("CAPSENDER"), .value = &IniSettings::capSender},
    {.name = QLatin1String("MQTTSERVERNAME"), .hosts = &IniSettings::mqttServers, .broker = true},
    {.name = QLatin1String("MORVIKMQTTUSER"), .value = &IniSettings::morvikMqttUser},
    {.name = QLatin1String("MORVIKMQTTPASSWORD"), .value = &IniSettings::morvikMqttPassword},
    {.name = QLatin1String("HALVANEMQTTUSER"), .value = &IniSettings::halvaneMqttUser},
    {.name = QLatin1String("HALVANEMQTTPASSWORD"), .value = &IniSettings::halvaneMqttPassword},
    {.name = QLatin1String("MQTTSSLCA"), .value = &IniSettings::mqttSslCa, .path = true, .asksForMqttTls = true},
    {.name = QLatin1String("MQTTSITE"), .value = &IniSettings::mqttSite, .topicLevel = true},
};

constexpr QStringView kBlanks = u" \t";

const Key* exactKey(QStringView text) {
    for (const Key& key : kKeys)
        if (text.compare(key.name, Qt::CaseInsensitive) == 0) return &key;
    return nullptr;
}

// Edits (a letter changed, added, dropped, or two swapped) that turn a into b.
int distance(QStringView a, QStringView b) {
    const qsizetype n = a.size(), m = b.size();
    QList<QList<int>> d(n + 1, QList<int>(m + 1, 0));
    for (qsizetype i = 0; i <= n; ++i)
        d[i][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][j] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// The key that a text not quite a key was meant to be: the key with separators, quotes or
// letters added, two letters wrong, or cut short. Keys differ from each other by more than that.
const Key* nearKey(const QString& text) {
    QString word;
    for (QChar c : text)
        if (c.isLetterOrNumber()) word += c.toUpper();
    if (word.size() < 6) return nullptr;
    for (const Key& key : kKeys) {
        const QString name = key.name.toString();
        // Lengths more than two apart are more than two edits apart, however long the word.
        const bool nearInLength = qAbs(word.size() - name.size()) <= 2;
        if (word.startsWith(name) || (word.size() >= 8 && name.startsWith(word)) ||
            (nearInLength && distance(word, name) <= 2))
            return &key;
    }
    return nullptr;
}

bool hasControlCharacter(const QString& text) {
    for (QChar c : text)
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7F) return true;
    return false;
}

QString quoted(const QString& text) {
    return u'"' + text + u'"';
}

class Reader {
public:
    Reader(IniSettings& s, const QString& folder) : m_s(s), m_folder(folder) {}

    void line(int number, const QString& raw) {
        m_line = number;
        const QString text = trimmedOf(raw, kBlanks);
        if (text.isEmpty() || text.startsWith(u'#') || text.startsWith(u';')) return;

        const qsizetype eq = text.indexOf(u'=');
        if (eq < 0) {
            // The first word, as far as a key could reach.
            qsizetype end = 0;
            while (end < text.size() && !kBlanks.contains(text[end]) && text[end] != u':')
                ++end;
            const QString word = text.left(end);
            if (const Key* key = exactKey(word))
                report(QStringLiteral("%1 is not followed by \"=\": the line is not read").arg(key->name));
            else if (const Key* near = nearKey(word))
                report(QStringLiteral("%1 is not a key (is %2 meant?): the line is not read")
                           .arg(quoted(word), near->name));
            return;
        }

        const QString name = trimmedOf(text.left(eq), kBlanks);
        const Key* key = exactKey(name);
        if (!key) {
            if (const Key* near = nearKey(name)) {
                if (name.startsWith(u'"'))
                    report(QStringLiteral("the quotes belong around the value alone (%1=\"…\"): the line is not read")
                               .arg(near->name));
                else
                    report(QStringLiteral("%1 is not a key (is %2 meant?): the line is not read")
                               .arg(quoted(name), near->name));
            }
            return;
        }

        // The key is written right: whatever its value, a certificate key never means plain text
        // (the connection then fails for want of a readable authority, as the old readers had it).
        m_s.tls = m_s.tls || key->asksForTls;
        m_s.mqttTls = m_s.mqttTls || key->asksForMqttTls;
        QString value = trimmedOf(text.mid(eq + 1), kBlanks);
        if (value.startsWith(u'"')) {
            if (value.size() < 2 || !value.endsWith(u'"')) {
                report(QStringLiteral("the value of %1 opens a double quote that it does not close: the line is not "
                                      "read")
                           .arg(key->name));
                return;
            }
            value = value.mid(1, value.size() - 2);
        }
        if (hasControlCharacter(value)) {
            report(QStringLiteral("the value of %1 holds a control character (a lone carriage return?): the line is "
                                  "not read")
                       .arg(key->name));
            return;
        }
        if (key->hosts)
            addHost(*key, value);
        else
            set(*key, value);
    }

    void report(const QString& text) { m_s.problems.append({m_line, text + u'.'}); }

private:
    void addHost(const Key& key, QString value) {
        if (const qsizetype comma = value.indexOf(u','); comma >= 0) {
            const QString rest = trimmedOf(value.mid(comma + 1), kBlanks);
            value = trimmedOf(value.left(comma), kBlanks);
            if (!rest.isEmpty())
                report(QStringLiteral("a comma ends the host name, as on the first line: %1 is not read")
                           .arg(quoted(rest)));
        }
        if (value.isEmpty()) {
            report(QStringLiteral("%1 names no host: the line is not read").arg(key.name));
            return;
        }
        if (key.broker && !brokerWellFormed(value)) {
            report(QStringLiteral("%1 is not a host or host:port with a port from 1 to 65535: the line is not read")
                       .arg(quoted(value)));
            return;
        }
        QStringList& hosts = m_s.*key.hosts;
        const bool firstLine = !key.broker && value.compare(m_s.strDataPath, Qt::CaseInsensitive) == 0;
        if (firstLine || hosts.contains(value, Qt::CaseInsensitive)) return;
        hosts << value;
    }

    static bool brokerWellFormed(const QString& value) {
        QString host = value;
        QString port;
        if (value.startsWith(u'[')) {
            // An IPv6 address in brackets, with or without a port after it.
            const qsizetype close = value.indexOf(u']');
            if (close < 0) return false;
            host = value.mid(1, close - 1);
            const QString rest = value.mid(close + 1);
            if (!rest.isEmpty() && !rest.startsWith(u':')) return false;
            port = rest.mid(1);
            if (rest.startsWith(u':') && port.isEmpty()) return false;
        } else if (const qsizetype colon = value.lastIndexOf(u':'); colon >= 0) {
            if (value.indexOf(u':') != colon) return true; // a bare IPv6 address
            host = value.left(colon);
            port = value.mid(colon + 1);
            if (port.isEmpty()) return false;
        }
        if (host.isEmpty() || host.contains(u' ') || host.contains(u'\t')) return false;
        if (port.isEmpty()) return true;
        bool ok = false;
        const int number = port.toInt(&ok);
        return ok && number >= 1 && number <= 65535 && !port.startsWith(u'+');
    }

    void set(const Key& key, QString value) {
        if (key.topicLevel && (value.isEmpty() || value.contains(u'/') || value.contains(u'+') ||
                               value.contains(u'#') || value.size() > 64)) {
            report(QStringLiteral("%1 must be a name of 1 to 64 characters without \"/\", \"+\" or \"#\": the line is "
                                  "not read")
                       .arg(key.name));
            return;
        }
        if (const auto seen = m_seen.constFind(&key); seen != m_seen.cend()) {
            if (seen->second != value)
                report(QStringLiteral("%1 is set on line %2 already: this second value is not read")
                           .arg(key.name)
                           .arg(seen->first));
            return;
        }
        m_seen.insert(&key, {m_line, value});
        if (key.path && !value.isEmpty() && !m_folder.isEmpty() && QDir::isRelativePath(value))
            value = QDir(m_folder).filePath(value);
        m_s.*key.value = value;
    }

    IniSettings& m_s;
    QString m_folder;
    int m_line = 0;
    // Where each single-valued key was set, and to what (before a path was made absolute).
    QHash<const Key*, std::pair<int, QString>> m_seen;
};

DatabaseAccess accessOf(const IniSettings& s, const QString& user, const QString& password) {
    DatabaseAccess a;
    // An empty name names no account: the program keeps the fixed one.
    if (!user.isEmpty()) {
        a.user = user;
        a.password = password;
    }
    a.tls = s.tls;
    a.sslCa = s.sslCa;
    a.sslCert = s.sslCert;
    a.sslKey = s.sslKey;
    return a;
}

} // namespace

DatabaseAccess IniSettings::trayAccess() const {
    return accessOf(*this, morvikUser, morvikPassword);
}

DatabaseAccess IniSettings::consoleAccess() const {
    return accessOf(*this, halvaneUser, halvanePassword);
}

QStringList IniSettings::problemLines(const QString& path) const {
    QStringList lines;
    for (const Problem& p : problems)
        lines << QStringLiteral("%1, line %2: %3").arg(path).arg(p.line).arg(p.text);
    return lines;
}

void IniSettings::warnAboutProblems(const QString& path) const {
    for (const QString& line : problemLines(path))
        qWarning().noquote() << line;
}

IniSettings IniSettings::fromText(const QByteArray& content, const QString& folder) {
    IniSettings s;
    s.strDataPath = hostFromIniText(content);
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    const QList<QByteArray> lines = bytes.split('\n');
    Reader reader(s, folder);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) line.chop(1);
        reader.line(int(i + 1), QString::fromUtf8(line));
    }
    return s;
}

} // namespace hv
