#include "util/settings_file.h"

#include "util/uFunctions.h"
#include "util/util_error.h"

#include <QFile>

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
    QFile file(settingsPath(appFolder));
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw UtilError(UtilError::CannotRead, file.errorString().toStdString(), file.fileName());
    // The file is one short line; anything large is not ours.
    const QByteArray content = file.read(64 * 1024);
    try {
        return split_field('|', settings_decode(normalizedLines(content)), 0);
    } catch (const UtilError& e) {
        throw UtilError(e.What(), e.Detail(), file.fileName());
    }
}

void write_saved_skin_id(const QString& appFolder, const QByteArray& skinId)
{
    write_text_line(settingsPath(appFolder), settings_encode(skinId + "|user"), true);
}
