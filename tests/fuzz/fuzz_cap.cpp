// CAP documents as anything a gateway or an attacker can hand over. Beyond crashes and hangs: an
// alert the reader takes, written out again, is read back as the same alert; and no text it takes
// carries a character that XML cannot carry.
#include "CapAlert.h"
#include "CapError.h"
#include "CapReader.h"
#include "CapWriter.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule) {
    fprintf(stderr, "broken rule: %s\n", rule);
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray document(reinterpret_cast<const char*>(data), qsizetype(size));
    hv::CapAlert alert;
    try {
        alert = hv::CapReader::parse(document);
    } catch (const hv::CapError& e) {
        if (e.reason().isEmpty()) broken("a refusal without a reason");
        return 0;
    }
    for (const QString& text : {alert.identifier, alert.event, alert.headline, alert.description, alert.areaDesc})
        if (hv::CapWriter::xmlSafe(text) != text) broken("a text that XML cannot carry was taken");

    // The writer keeps the first <info> and its first <area>, which is all the reader reports.
    hv::CapAlert expected = alert;
    expected.infoCount = qMin(expected.infoCount, 1);
    expected.areaCount = qMin(expected.areaCount, 1);
    try {
        if (!(hv::CapReader::parse(hv::CapWriter::document(alert)) == expected))
            broken("an alert written out was read back changed");
    } catch (const hv::CapError& e) {
        fprintf(stderr, "%s\n", e.what());
        broken("an alert written out was refused");
    }
    return 0;
}
