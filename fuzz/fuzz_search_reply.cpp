// Feeds arbitrary reply bytes (GBK, as the service sends them) to the code
// that turns a search reply into the rows of the result list, and checks
// what the window relies on: a bounded number of rows, each with every
// column, and the count of elements matching the rows it could read.
#include "ui/search_reply.h"

#include "util/gbk.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), qsizetype(size));
    const TSearchReply read = ReadSearchReply(reply);
    check(read.Length >= -1);
    check(read.Rows.size() <= kMaxResultRows);
    check(read.Rows.size() <= qMax(0, read.Length));
    static const QByteArray typeSuffix = Gbk::fromUnicode(QStringLiteral("文件"));
    for (const TResultRow& row : read.Rows) {
        check(row.ImageIndex == TResultRow::kIconOfCaption);
        check(row.SubItems[0].endsWith(typeSuffix));
        // A size column is empty or a number with its unit.
        const QByteArray& size = row.SubItems[1];
        check(size.isEmpty() || size.endsWith('B'));
    }
    return 0;
}
