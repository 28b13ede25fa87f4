#include "util/settings_file.h"

#include "platform/safe_files.h"
#include "util/uFunctions.h"
#include "util/util_error.h"

namespace {

QString settingsPath(const QString& appFolder)
{
    return appFolder + QStringLiteral("settings.cfg");
}

// Lines end at CR, LF or CR LF; each is joined again followed by CR LF.
QByteArray normalizedLines(const QByteArray& content)
{
    QByteArray out;
    out.reserve(content.size() + 2);
    qsizetype start = 0;
    const qsizetype n = content.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && content[end] != '\r' && content[end] != '\n')
            ++end;
        out.append(content.constData() + start, end - start);
        out.append("\r\n");
        if (end < n && content[end] == '\r' && end + 1 < n && content[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return out;
}

} // namespace

std::optional<QByteArray> read_saved_skin_id(const QString& appFolder)
{
    const QString path = settingsPath(appFolder);
    // The file is one short line; anything large is not ours. A FIFO, a
    // device or a folder in its place holds no saved skin.
    const TSafeFiles::TRead file = TSafeFiles::ReadRegular(path, 64 * 1024);
    if (file.outcome == TSafeFiles::TReadOutcome::NoFile)
        return std::nullopt;
    if (file.outcome == TSafeFiles::TReadOutcome::Failed)
        throw UtilError(UtilError::CannotRead, file.error.toStdString(), path);
    try {
        return split_field('|', settings_decode(normalizedLines(file.bytes)), 0);
    } catch (const UtilError& e) {
        throw UtilError(e.What(), e.Detail(), path);
    }
}

void write_saved_skin_id(const QString& appFolder, const QByteArray& skinId)
{
    write_text_line(settingsPath(appFolder), settings_encode(skinId + "|user"), true);
}
