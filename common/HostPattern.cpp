#include "HostPattern.h"

#include <QList>

namespace hv::hostpattern {

QString folded(const QString& name) {
    return name.toCaseFolded();
}

bool matches(const QString& pattern, const QString& hostName) {
    // By code points, as the server's LIKE counts characters: '?' is one character even where
    // UTF-16 needs two units for it.
    const QList<uint> p = folded(pattern).toUcs4();
    const QList<uint> h = folded(hostName).toUcs4();
    // Greedy with one point of return: the last '*' seen takes one more character each time the
    // rest fails; linear in practice and never exponential.
    qsizetype pi = 0, hi = 0, starP = -1, starH = 0;
    while (hi < h.size()) {
        if (pi < p.size() && (p[pi] == '?' || (p[pi] != '*' && p[pi] == h[hi]))) {
            ++pi;
            ++hi;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starH = hi;
        } else if (starP >= 0) {
            pi = starP + 1;
            hi = ++starH;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

QString likeForm(const QString& pattern) {
    QString out;
    const QString f = folded(pattern);
    out.reserve(f.size() + 8);
    for (const QChar c : f) {
        if (c == u'*')
            out += u'%';
        else if (c == u'?')
            out += u'_';
        else if (c == u'%' || c == u'_' || c == u'!')
            out += QStringLiteral("!") + c;
        else
            out += c;
    }
    return out;
}

QString problemWith(const QString& pattern) {
    if (pattern.trimmed().isEmpty()) return QStringLiteral("A pattern cannot be empty.");
    if (pattern.trimmed() != pattern) return QStringLiteral("A pattern cannot begin or end with a blank.");
    if (pattern.size() > kLongest)
        return QStringLiteral("A pattern or host name can be at most %1 characters long.").arg(kLongest);
    return {};
}

} // namespace hv::hostpattern
