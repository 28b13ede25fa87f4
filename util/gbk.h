#pragma once

#include <QByteArray>
#include <QString>

// Conversion between the client's byte strings (GBK, code page 936) and
// UTF-16 text. Every place that converts goes through here, so a Windows
// build can swap in the system's code page 936 functions.
namespace Gbk {

QString toUnicode(const QByteArray& gbk);
QByteArray fromUnicode(const QString& text);

} // namespace Gbk
