#include "net/skin_catalogue.h"

#include "util/gbk.h"
#include "util/uFunctions.h"
#include "util/util_error.h"

QByteArray SkinCatalogueAddress(const QString& baseUrl)
{
    return baseUrl.toUtf8() + "plugins/getskin.php";
}

QByteArray SkinListMessage()
{
    return "action=list";
}

QByteArray SkinDownloadUrl(const QString& baseUrl, const QByteArray& skinId)
{
    return SkinCatalogueAddress(baseUrl) + "?action=downskin&skin_id=" + skinId;
}

QByteArray PreviewDownloadUrl(const QString& baseUrl, const QByteArray& skinId)
{
    return SkinCatalogueAddress(baseUrl) + "?action=downimg&skin_id=" + skinId;
}

QVector<TSkinRes> ParseSkinList(const QByteArray& reply)
{
    static const QByteArray suffix = Gbk::fromUnicode(QStringLiteral("皮肤"));
    const int count = count_occurrences(reply, ",") + 1;
    QVector<TSkinRes> entries;
    entries.reserve(count);
    for (int k = 0; k < count; ++k) {
        // A quoted field may hold a comma, leaving fewer fields than the
        // count; the entries past the last field have an empty id.
        QByteArray id;
        try {
            id = split_field(',', reply, k);
        } catch (const UtilError&) {
        }
        entries.append({id, id + suffix});
    }
    return entries;
}
