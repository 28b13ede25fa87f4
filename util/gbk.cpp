#include "util/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// GBK keeps the 128 ASCII codes as single bytes of the same value, and most
// service texts (ids, addresses, numbers, dates) are pure ASCII: those skip
// the code-page converter, whose creation costs more than the conversion.
bool IsAscii(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (uchar(data[i]) >= 0x80)
            return false;
    return true;
}

bool IsAscii(const QChar* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (data[i].unicode() >= 0x80)
            return false;
    return true;
}

} // namespace

namespace Gbk {

QString toUnicode(const QByteArray& gbk)
{
    if (IsAscii(gbk.constData(), gbk.size()))
        return QString::fromLatin1(gbk);
    QStringDecoder decoder("GBK");
    return decoder.decode(gbk);
}

QByteArray fromUnicode(const QString& text)
{
    if (IsAscii(text.constData(), text.size()))
        return text.toLatin1();
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace Gbk
