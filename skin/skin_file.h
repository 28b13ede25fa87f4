#pragma once

#include <QByteArray>
#include <QString>

// The skin file container: a 32-bit little-endian header word (0 to 3), a
// 32-bit little-endian length n, then n bytes of zlib-compressed skin
// description. Reading checks every length and caps the inflated size, so
// a crafted file cannot exhaust memory; failures raise SkinFileError.

constexpr qsizetype kMaxSkinDescription = 16 * 1024 * 1024;

QByteArray PackSkinFile(const QByteArray& description);
QByteArray UnpackSkinFile(const QByteArray& fileBytes);
QByteArray ReadSkinFile(const QString& path);
