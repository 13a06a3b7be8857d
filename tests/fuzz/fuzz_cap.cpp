// CAP documents and feeds as anything a gateway or an attacker can hand over. Beyond crashes and
// hangs: an alert the reader takes, written out again, is read back as the same alert; no text it
// takes carries a character that XML cannot carry; a feed gives no more entries than its bound and
// no link that leaves HTTPS; and what the intake makes of a message stays within its bounds.
#include "CapAlert.h"
#include "CapError.h"
#include "CapIndex.h"
#include "CapIntake.h"
#include "CapMapping.h"
#include "CapReader.h"
#include "CapTime.h"
#include "CapWriter.h"

#include <QByteArray>
#include <QUrl>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule) {
    fprintf(stderr, "broken rule: %s\n", rule);
    abort();
}

void refused(const hv::CapError& e) {
    if (e.reason().isEmpty()) broken("a refusal without a reason");
}

void safe(const QString& text) {
    if (hv::CapWriter::xmlSafe(text) != text) broken("a text that XML cannot carry was taken");
}

const hv::CapMapping& mapping() {
    static const hv::CapMapping map = hv::CapMapping::parse("event Code* => Code Red\n"
                                                            "eventCode SAME=T?R => Code Black\n"
                                                            "areaDesc * => Lobby\n"
                                                            "geocode FIPS6=51* => East Wing\n",
                                                            "fuzz.map");
    return map;
}

void alert(const QByteArray& document) {
    hv::CapAlert a;
    try {
        a = hv::CapReader::parse(document);
    } catch (const hv::CapError& e) {
        refused(e);
        return;
    }
    for (const QString& text : {a.identifier, a.sender, a.sent})
        safe(text);
    for (const hv::CapAlert::Info& info : a.infos) {
        for (const QString& text : {info.language, info.event, info.headline, info.description, info.instruction})
            safe(text);
        for (const hv::CapAlert::Area& area : info.areas) {
            safe(area.areaDesc);
            for (const hv::CapAlert::Code& code : area.geocodes)
                safe(code.value);
        }
    }

    try {
        if (!(hv::CapReader::parse(hv::CapWriter::document(a)) == a))
            broken("an alert written out was read back changed");
    } catch (const hv::CapError& e) {
        fprintf(stderr, "%s\n", e.what());
        broken("an alert written out was refused");
    }

    // As the gateway would meet it, a little after it was sent.
    hv::CapIntake::Rules rules;
    rules.now = hv::captime::parse(a.sent).value_or(QDateTime()).addSecs(300);
    rules.language = QStringLiteral("en");
    try {
        hv::CapIntake::actionFor(a, rules);
    } catch (const hv::CapError& e) {
        refused(e);
    }
    const auto infos = hv::CapIntake::considered(a, rules);
    if (infos.size() > a.infos.size()) broken("more infos considered than the message has");
    const hv::CapIntake::Targets t =
        hv::CapIntake::targets(infos, &mapping(), {QStringLiteral("Code Red"), QStringLiteral("Code Black")},
                               {QStringLiteral("Lobby"), QStringLiteral("East Wing")});
    if (t.alerts.size() > hv::CapIntake::kMostAlerts) broken("more alerts than one message may make");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray document(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QUrl base(QStringLiteral("https://feed.example/alerts/va.atom"));
    try {
        const hv::CapIndex index = hv::CapIndex::read(document, base);
        if (index.entries.size() > hv::CapIndex::kMaxEntries || index.listed < index.entries.size())
            broken("more entries than the bound");
        for (const hv::CapIndex::Entry& e : index.entries) {
            if (!e.link.isEmpty() && e.link.scheme() != u"https") broken("a link that leaves HTTPS");
            if (e.link.isEmpty() && e.alert.isEmpty() && e.problem.isEmpty()) broken("an entry with nothing");
            // A single alert is the document itself, read below.
            if (!e.alert.isEmpty() && index.kind != hv::CapIndex::Kind::Alert) alert(e.alert);
        }
    } catch (const hv::CapError& e) {
        refused(e);
    }
    alert(document);
    try {
        hv::CapMapping::parse(document, QStringLiteral("fuzz.map"));
    } catch (const hv::CapMapping::Error& e) {
        if (e.reason.isEmpty()) broken("a mapping refused without a reason");
    }
    return 0;
}
