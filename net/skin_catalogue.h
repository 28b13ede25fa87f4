#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The service's skin catalogue: the list request and the download
// addresses of skin files and preview pictures. Skin ids are GBK bytes.

// One entry of a skin list reply: the id and the row caption (id + "皮肤").
struct TSkinRes
{
    QByteArray Id;
    QByteArray Title;
};

QByteArray SkinCatalogueAddress(const QString& baseUrl);
QByteArray SkinListMessage();
QByteArray SkinDownloadUrl(const QString& baseUrl, const QByteArray& skinId);
QByteArray PreviewDownloadUrl(const QString& baseUrl, const QByteArray& skinId);

// The entries of a list reply: one more than its commas, each the field of
// that index (blanks and control characters also separate fields; a reply
// of fewer than two fields is one entry, taken whole).
QVector<TSkinRes> ParseSkinList(const QByteArray& reply);
