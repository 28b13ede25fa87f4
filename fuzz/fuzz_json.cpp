// Feeds arbitrary text to the JSON reader and walks whatever it returns.
// Input starting with byte 0xFF is taken as raw UTF-16 code units, anything
// else as UTF-8, so the fuzzer reaches both the grammar and odd code units.
#include "json/uJson.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Every value answers every accessor; members are found by their own name.
void walk(const IJsonValue& root)
{
    std::vector<IJsonValue> pending{root};
    while (!pending.empty()) {
        const IJsonValue value = pending.back();
        pending.pop_back();
        (void)value.text();
        const TJsonArray array = ArrayOf(value);
        check(bool(array) == (value.kind() == JsonKind::Array));
        for (int i = 0; i < Length(array); ++i)
            pending.push_back(ItemAt(array, i));
        check(!ItemAt(array, Length(array)));
        const TJsonTable table = value.table();
        for (int i = 0; i < table.count(); ++i) {
            const QStringView name = table.nameAt(i);
            check(table.member(name).value() == table.valueAt(i).value());
            check(MemberText(value, name) == table.valueAt(i).text());
            pending.push_back(table.valueAt(i));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString text;
    if (size > 0 && data[0] == 0xFF) {
        text = QString(reinterpret_cast<const QChar*>(data + 1), qsizetype((size - 1) / 2));
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    }
    const IJsonValue value = ParseJson(text);
    if (!value)
        return 0;
    walk(value);
    // The JSON text of a container reads back, and from then on is stable.
    if (value.kind() == JsonKind::Array || value.kind() == JsonKind::Object) {
        const IJsonValue again = ParseJson(value.text());
        check(bool(again));
        const QString second = again.text();
        check(ParseJson(second).text() == second);
    }
    return 0;
}
