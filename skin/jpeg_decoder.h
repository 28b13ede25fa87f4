#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Decodes a JPEG picture with libjpeg-turbo. Corrupt or truncated data and
// pictures of absurd dimensions raise SkinFileError; the process never exits.
// With a non-empty `fitInto` the decoder uses its built-in downscaling so
// that the result is no smaller than needed to fill that area.
QImage DecodeJpeg(const QByteArray& data, QSize fitInto = QSize());
