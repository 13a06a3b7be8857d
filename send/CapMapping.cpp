#include "CapMapping.h"

#include <QFile>

namespace hv {

namespace {

const QString kArrow = QStringLiteral("=>");

} // namespace

QRegularExpression CapMapping::pattern(const QString& wildcards) {
    QString re = QStringLiteral("\\A(?:");
    for (const QChar c : wildcards) {
        if (c == u'*')
            re += QStringLiteral(".*");
        else if (c == u'?')
            re += u'.';
        else
            re += QRegularExpression::escape(QString(c));
    }
    re += QStringLiteral(")\\z");
    return QRegularExpression(re, QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::DotMatchesEverythingOption |
                                      QRegularExpression::UseUnicodePropertiesOption);
}

CapMapping CapMapping::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error{QStringLiteral("the mapping file %1 cannot be read: %2").arg(path, file.errorString())};
    const QByteArray text = file.read(kMaxFileBytes + 1);
    if (text.size() > kMaxFileBytes)
        throw Error{QStringLiteral("the mapping file %1 is larger than %2 bytes").arg(path).arg(kMaxFileBytes)};
    return parse(text, path);
}

CapMapping CapMapping::parse(const QByteArray& text, const QString& name) {
    CapMapping mapping;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = QString::fromUtf8(lines[n]).trimmed();
        if (n == 0 && line.startsWith(QChar(0xFEFF))) line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        auto wrong = [&](const QString& why) {
            return Error{QStringLiteral("the mapping file %1, line %2: %3").arg(name).arg(n + 1).arg(why)};
        };
        const qsizetype blank = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const QString kind = line.left(blank < 0 ? line.size() : blank);
        const QString rest = blank < 0 ? QString() : line.mid(blank).trimmed();
        const qsizetype arrow = rest.indexOf(kArrow);
        if (arrow < 0) throw wrong(QStringLiteral("no \"=>\" between the pattern and the site's name"));
        QString from = rest.left(arrow).trimmed();
        const QString to = rest.mid(arrow + kArrow.size()).trimmed();
        if (to.isEmpty()) throw wrong(QStringLiteral("no name of the site's after \"=>\""));

        Rule rule;
        rule.name = to;
        QList<Rule>* rules = nullptr;
        const bool coded =
            kind.compare(u"eventCode", Qt::CaseInsensitive) == 0 || kind.compare(u"geocode", Qt::CaseInsensitive) == 0;
        if (kind.compare(u"event", Qt::CaseInsensitive) == 0 || kind.compare(u"eventCode", Qt::CaseInsensitive) == 0)
            rules = &mapping.m_codes;
        else if (kind.compare(u"areaDesc", Qt::CaseInsensitive) == 0 ||
                 kind.compare(u"geocode", Qt::CaseInsensitive) == 0)
            rules = &mapping.m_locations;
        else
            throw wrong(QStringLiteral("\"%1\" is not event, eventCode, areaDesc or geocode").arg(kind));
        if (coded) {
            const qsizetype eq = from.indexOf(u'=');
            if (eq <= 0 || from.left(eq).trimmed().isEmpty())
                throw wrong(QStringLiteral("a %1 rule names the code system and the value, as in SAME=TOR").arg(kind));
            rule.valueName = from.left(eq).trimmed();
            from = from.mid(eq + 1).trimmed();
        }
        if (from.isEmpty()) throw wrong(QStringLiteral("no pattern before \"=>\""));
        rule.pattern = pattern(from);
        rules->append(rule);
    }
    if (mapping.m_codes.isEmpty())
        throw Error{QStringLiteral("the mapping file %1 has no event or eventCode rule, so no message could be sent")
                        .arg(name)};
    if (mapping.m_locations.isEmpty())
        throw Error{QStringLiteral("the mapping file %1 has no areaDesc or geocode rule, so no message could be sent")
                        .arg(name)};
    return mapping;
}

bool CapMapping::fits(const Rule& rule, const QString& text, const QList<CapAlert::Code>& codes) {
    if (rule.valueName.isEmpty()) return rule.pattern.match(text.trimmed()).hasMatch();
    for (const CapAlert::Code& code : codes)
        if (code.valueName.trimmed().compare(rule.valueName, Qt::CaseInsensitive) == 0 &&
            rule.pattern.match(code.value.trimmed()).hasMatch())
            return true;
    return false;
}

std::optional<QString> CapMapping::codeFor(const CapAlert::Info& info) const {
    for (const Rule& rule : m_codes)
        if (fits(rule, info.event, info.eventCodes)) return rule.name;
    return std::nullopt;
}

QStringList CapMapping::locationsFor(const QList<CapAlert::Area>& areas) const {
    QStringList out;
    for (const CapAlert::Area& area : areas)
        for (const Rule& rule : m_locations)
            if (fits(rule, area.areaDesc, area.geocodes) && !out.contains(rule.name)) out.append(rule.name);
    return out;
}

} // namespace hv
