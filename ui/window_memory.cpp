#include "ui/window_memory.h"

#include "platform/safe_files.h"
#include "ui/result_list_model.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// Far more than the file ever holds; anything larger is not ours.
constexpr qint64 kMaxFileSize = 256 * 1024;
constexpr int kMaxGeometrySize = 1024;
constexpr int kMaxKeywordLength = 256;
constexpr int kMaxColumnWidth = 4000;

QByteArray GeometryOf(const QJsonObject& root, const char* key)
{
    const QString text = root.value(QLatin1String(key)).toString();
    if (text.isEmpty() || text.size() > kMaxGeometrySize * 2)
        return {};
    return QByteArray::fromBase64(text.toLatin1());
}

QList<int> ColumnWidthsOf(const QJsonValue& value)
{
    const QJsonArray widths = value.toArray();
    if (widths.size() != TResultListModel::kColumnCount)
        return {};
    QList<int> result;
    for (const QJsonValue& width : widths) {
        const int w = width.toInt(-1);
        if (w < 1 || w > kMaxColumnWidth)
            return {};
        result.append(w);
    }
    return result;
}

} // namespace

void TWindowMemory::RememberKeyword(const QString& keyword)
{
    if (keyword.isEmpty() || keyword.size() > kMaxKeywordLength)
        return;
    Keywords.removeAll(keyword);
    Keywords.prepend(keyword);
    while (Keywords.size() > kMaxKeywords)
        Keywords.removeLast();
}

TWindowMemory TWindowMemory::Load(const QString& path)
{
    TWindowMemory memory;
    // A FIFO or a device in its place is no memory: start-up never waits.
    const TSafeFiles::TRead file = TSafeFiles::ReadRegular(path, kMaxFileSize + 1);
    if (file.outcome != TSafeFiles::TReadOutcome::Read || file.bytes.size() > kMaxFileSize)
        return memory;
    const QByteArray& content = file.bytes;
    const QJsonObject root = QJsonDocument::fromJson(content).object();
    memory.MainGeometry = GeometryOf(root, "main");
    memory.PreviewGeometry = GeometryOf(root, "preview");
    memory.ColumnWidths = ColumnWidthsOf(root.value(QLatin1String("columns")));
    const QJsonArray keywords = root.value(QLatin1String("keywords")).toArray();
    // Oldest first, so that the latest ends up in front.
    for (qsizetype i = std::min<qsizetype>(keywords.size(), kMaxKeywords) - 1; i >= 0; --i)
        memory.RememberKeyword(keywords.at(i).toString());
    return memory;
}

bool TWindowMemory::Save(const QString& path) const
{
    QJsonObject root;
    root.insert(QLatin1String("main"), QString::fromLatin1(MainGeometry.toBase64()));
    root.insert(QLatin1String("preview"), QString::fromLatin1(PreviewGeometry.toBase64()));
    QJsonArray widths;
    for (int width : ColumnWidths)
        widths.append(width);
    root.insert(QLatin1String("columns"), widths);
    root.insert(QLatin1String("keywords"), QJsonArray::fromStringList(Keywords));
    const QByteArray content = QJsonDocument(root).toJson();

    // A new file of the user's own renamed over the old one: a link in its
    // place is replaced, and a failed write leaves the old file.
    return TSafeFiles::Replace(path, content, nullptr);
}

QString WindowMemoryPath(const QString& settingsFolder)
{
    return settingsFolder + QStringLiteral("window-memory.json");
}
