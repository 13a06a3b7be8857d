// halvane.ini as anything a disk or an editor can hand over. Beyond crashes and hangs, the host
// name must obey the reader's rules: only the first line counts, no line break ever reaches it,
// and a quoted first field keeps its quotes out of the host.
#include "IniFile.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule) {
    fprintf(stderr, "broken rule: %s\n", rule);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString host = hv::hostFromIniText(content);

    if (host.contains(u'\n') || host.contains(u'\r')) broken("a line break reached the host name");

    const qsizetype nl = content.indexOf('\n');
    const QByteArray firstLine = nl < 0 ? content : content.left(nl);
    if (hv::hostFromIniText(firstLine + "\r\nMYSQLSERVERNAME=other\n") != host)
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
    return 0;
}
