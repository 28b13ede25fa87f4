#include "platform/file_icons.h"

#include "util/gbk.h"

#include <QFont>
#include <QHash>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QVector>

namespace {

// Drawn stand-ins for desktops without an icon theme: a sheet with a folded
// corner in the colour of the type's family and a short label.
struct FallbackStyle
{
    QColor colour;
    const char* label;
};

FallbackStyle fallbackStyleFor(const QMimeType& type)
{
    const QString name = type.name();
    auto contains = [&](std::initializer_list<const char*> parts) {
        for (const char* part : parts)
            if (name.contains(QLatin1String(part)))
                return true;
        return false;
    };
    if (name.startsWith("image/"))
        return {QColor(0x3b, 0x8e, 0xd0), "IMG"};
    if (name.startsWith("audio/"))
        return {QColor(0xe0, 0x7a, 0x1f), "AUD"};
    if (name.startsWith("video/"))
        return {QColor(0x8e, 0x44, 0xad), "VID"};
    if (type.genericIconName() == "package-x-generic" ||
        contains({"zip", "rar", "7z", "tar", "bzip", "xz", "compressed"}))
        return {QColor(0xc0, 0x9a, 0x2b), "ZIP"};
    if (name == "application/pdf")
        return {QColor(0xd0, 0x3b, 0x3b), "PDF"};
    if (contains({"msword", "wordprocessing", "opendocument.text", "rtf"}))
        return {QColor(0x2b, 0x57, 0x9a), "DOC"};
    if (contains({"excel", "spreadsheet"}))
        return {QColor(0x21, 0x73, 0x46), "XLS"};
    if (contains({"powerpoint", "presentation"}))
        return {QColor(0xd2, 0x47, 0x26), "PPT"};
    if (contains({"executable", "msi", "android.package", "msdos"}))
        return {QColor(0x55, 0x5f, 0x6b), "EXE"};
    if (contains({"cd-image", "disk-image"}))
        return {QColor(0x6b, 0x7b, 0x8c), "ISO"};
    if (name.startsWith("text/"))
        return {QColor(0x7f, 0x8c, 0x8d), "TXT"};
    return {QColor(0xa0, 0xa8, 0xb0), ""};
}

QPixmap drawFallback(const FallbackStyle& style, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size * 0.78, h = size * 0.94, fold = size * 0.26;
    const qreal x = (size - w) / 2, y = (size - h) / 2;
    QPainterPath sheet;
    sheet.moveTo(x, y);
    sheet.lineTo(x + w - fold, y);
    sheet.lineTo(x + w, y + fold);
    sheet.lineTo(x + w, y + h);
    sheet.lineTo(x, y + h);
    sheet.closeSubpath();
    p.setPen(QPen(style.colour.darker(140), qMax(1.0, size / 24.0)));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath corner;
    corner.moveTo(x + w - fold, y);
    corner.lineTo(x + w - fold, y + fold);
    corner.lineTo(x + w, y + fold);
    corner.closeSubpath();
    p.setBrush(style.colour.lighter(150));
    p.drawPath(corner);
    if (*style.label) {
        const QRectF band(x, y + h * 0.52, w, h * 0.34);
        p.fillRect(band, style.colour);
        if (size >= 24) {
            QFont font;
            font.setBold(true);
            font.setPixelSize(int(band.height() * 0.8));
            p.setFont(font);
            p.setPen(Qt::white);
            p.drawText(band, Qt::AlignCenter, QLatin1String(style.label));
        }
    }
    return pixmap;
}

QIcon iconFor(const QMimeType& type)
{
    for (const QString& name : {type.iconName(), type.genericIconName()}) {
        const QIcon themed = QIcon::fromTheme(name);
        if (!themed.isNull())
            return themed;
    }
    const FallbackStyle style = fallbackStyleFor(type);
    QIcon drawn;
    for (int size : {16, 32, 48})
        drawn.addPixmap(drawFallback(style, size));
    return drawn;
}

// One entry per file type, in the order the types were first asked for.
class IconRegistry
{
public:
    IconRegistry()
    {
        if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        // Index 0: the empty row, drawn like an unknown file.
        icons_.append(iconFor(mimeDb_.mimeTypeForName(QStringLiteral("application/octet-stream"))));
    }

    int indexFor(const char* fileName)
    {
        if (!fileName)
            return 0;
        const QMimeType type =
            mimeDb_.mimeTypeForFile(Gbk::toUnicode(fileName), QMimeDatabase::MatchExtension);
        const auto found = indexByType_.constFind(type.name());
        if (found != indexByType_.constEnd())
            return *found;
        const int index = int(icons_.size());
        icons_.append(iconFor(type));
        indexByType_.insert(type.name(), index);
        return index;
    }

    int count() const { return int(icons_.size()); }
    QIcon icon(int index) const
    {
        return index >= 0 && index < icons_.size() ? icons_.at(index) : QIcon();
    }

private:
    QMimeDatabase mimeDb_;
    QVector<QIcon> icons_;
    QHash<QString, int> indexByType_;
};

IconRegistry& registry()
{
    static IconRegistry instance;
    return instance;
}

class SizedImageList : public TSystemImageList
{
public:
    explicit SizedImageList(int edge) : edge_(edge) {}
    int Count() const override { return registry().count(); }
    QSize IconSize() const override { return {edge_, edge_}; }
    QIcon Icon(int index) const override { return registry().icon(index); }

private:
    int edge_;
};

} // namespace

TSystemImageList* GetSystemImageListHandle(int small)
{
    static SizedImageList smallIcons(16);
    static SizedImageList largeIcons(32);
    return small == 1 ? &smallIcons : &largeIcons;
}

int GetSystemIconIndexA(const char* fileName, int /*flags*/)
{
    return registry().indexFor(fileName);
}
