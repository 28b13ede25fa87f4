#include "skin/skin_file.h"

#include "skin/skin_file_error.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

namespace {

constexpr quint32 kHeaderWord = 1;
constexpr quint32 kMaxHeaderWord = 3;
constexpr qsizetype kPrefixSize = 8;

[[noreturn]] void fail(const std::string& why)
{
    throw SkinFileError(SkinFileError::NotSkinFile, why);
}

} // namespace

QByteArray PackSkinFile(const QByteArray& description)
{
    uLongf size = compressBound(uLong(description.size()));
    QByteArray out(kPrefixSize + qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data() + kPrefixSize), &size,
                  reinterpret_cast<const Bytef*>(description.constData()),
                  uLong(description.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw SkinFileError(SkinFileError::NotSkinFile, "cannot compress the description");
    out.resize(kPrefixSize + qsizetype(size));
    qToLittleEndian<quint32>(kHeaderWord, out.data());
    qToLittleEndian<quint32>(quint32(size), out.data() + 4);
    return out;
}

QByteArray UnpackSkinFile(const QByteArray& fileBytes)
{
    if (fileBytes.size() < kPrefixSize)
        fail("the file is too short");
    const quint32 header = qFromLittleEndian<quint32>(fileBytes.constData());
    const quint32 length = qFromLittleEndian<quint32>(fileBytes.constData() + 4);
    if (header > kMaxHeaderWord)
        fail("unknown header");
    if (length == 0 || qsizetype(length) != fileBytes.size() - kPrefixSize)
        fail("the length does not match the file");

    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw SkinFileError(SkinFileError::NotSkinFile, "cannot start decompression");
    stream.next_in =
        reinterpret_cast<Bytef*>(const_cast<char*>(fileBytes.constData()) + kPrefixSize);
    stream.avail_in = length;
    QByteArray out;
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() >= kMaxSkinDescription) {
            inflateEnd(&stream);
            fail("the description is larger than 16 MiB");
        }
        const qsizetype chunk = qMin<qsizetype>(256 * 1024, kMaxSkinDescription - out.size() + 1);
        const qsizetype used = out.size();
        out.resize(used + chunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        stream.avail_out = uInt(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(used + chunk - qsizetype(stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // input ran out before the end of the stream
    }
    const bool complete = status == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (status == Z_STREAM_END && stream.avail_in != 0)
        fail("data after the compressed description");
    if (!complete)
        fail("the compressed data is damaged or cut short");
    if (out.size() > kMaxSkinDescription)
        fail("the description is larger than 16 MiB");
    return out;
}

QByteArray ReadSkinFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SkinFileError(SkinFileError::CannotOpen, file.errorString().toStdString(), path);
    // The compressed form of a capped description cannot be much larger.
    if (file.size() > kMaxSkinDescription + kPrefixSize)
        throw SkinFileError(SkinFileError::NotSkinFile, "the file is too large", path);
    try {
        return UnpackSkinFile(file.readAll());
    } catch (const SkinFileError& e) {
        throw e.InFile(path);
    }
}
