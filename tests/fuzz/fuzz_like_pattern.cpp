// The report search turns the operator's text into a LIKE prefix pattern with "!" as the escape
// character. Whatever the text, the pattern must match exactly the names that begin with it: each
// character of the text literal, one "%" at the end as the only wildcard.
#include "ReportStore.h"

#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule, const QString& search, const QString& pattern) {
    fprintf(stderr, "broken rule: %s\nsearch:  %s\npattern: %s\n", rule, qPrintable(search), qPrintable(pattern));
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString search = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString pattern = hv::ReportStore::likePrefix(search);

    // Read the pattern back as the server does.
    QString literal;
    int wildcards = 0;
    bool trailingPercent = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        trailingPercent = false;
        if (c == u'!') {
            if (i + 1 == pattern.size()) broken("the pattern ends in a bare escape", search, pattern);
            literal += pattern[++i];
        } else if (c == u'%' || c == u'_') {
            ++wildcards;
            trailingPercent = c == u'%';
        } else {
            literal += c;
        }
    }
    if (literal != search) broken("the pattern does not spell the search text", search, pattern);
    if (wildcards != 1 || !trailingPercent) broken("the only wildcard is not one final %", search, pattern);
    return 0;
}
