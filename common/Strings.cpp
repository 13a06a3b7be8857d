#include "Strings.h"

namespace hv {

QString trimmedOf(const QString& text, QStringView blanks) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blanks.contains(text.at(begin)))
        ++begin;
    while (end > begin && blanks.contains(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace hv
