#include "util/gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Gbk {

QString toUnicode(const QByteArray& gbk)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(gbk);
}

QByteArray fromUnicode(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace Gbk
