#include "skin/skin_description.h"

#include "skin/skin_error.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

struct PaletteRole
{
    const char* key;
    QPalette::ColorRole role;
};

const PaletteRole kPaletteRoles[] = {
    {"window", QPalette::Window},
    {"windowText", QPalette::WindowText},
    {"base", QPalette::Base},
    {"alternateBase", QPalette::AlternateBase},
    {"text", QPalette::Text},
    {"button", QPalette::Button},
    {"buttonText", QPalette::ButtonText},
    {"brightText", QPalette::BrightText},
    {"highlight", QPalette::Highlight},
    {"highlightedText", QPalette::HighlightedText},
    {"toolTipBase", QPalette::ToolTipBase},
    {"toolTipText", QPalette::ToolTipText},
    {"link", QPalette::Link},
    {"linkVisited", QPalette::LinkVisited},
    {"placeholderText", QPalette::PlaceholderText},
    {"light", QPalette::Light},
    {"midlight", QPalette::Midlight},
    {"mid", QPalette::Mid},
    {"dark", QPalette::Dark},
    {"shadow", QPalette::Shadow},
};

// Bounds keep a hostile skin file from costing much before it is rejected.
constexpr int kMaxColors = 256;
constexpr int kMaxTextLength = 1 << 20;

[[noreturn]] void fail(int line, const QString& what)
{
    const QString message = line > 0
                                ? QStringLiteral("皮肤描述有误（第 %1 行）：%2").arg(line).arg(what)
                                : QStringLiteral("皮肤描述有误：%1").arg(what);
    throw SkinError(message.toStdString());
}

bool validKey(const QString& key)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return pattern.match(key).hasMatch();
}

} // namespace

TSkinDescription TSkinDescription::FromText(const QString& text)
{
    if (text.size() > kMaxTextLength)
        fail(0, QStringLiteral("内容过长"));

    TSkinDescription skin;
    enum class Section
    {
        None,
        Skin,
        Colors,
        Style
    } section = Section::None;
    bool sawStyle = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        if (section == Section::Style) {
            // The style sheet runs to the end, taken as it is.
            skin.m_styleTemplate = lines.mid(i).join(QLatin1Char('\n'));
            break;
        }
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            const QString name = line.mid(1, line.size() - 2).trimmed().toLower();
            if (name == QLatin1String("skin"))
                section = Section::Skin;
            else if (name == QLatin1String("colors"))
                section = Section::Colors;
            else if (name == QLatin1String("style")) {
                section = Section::Style;
                sawStyle = true;
            } else
                fail(lineNo, QStringLiteral("未知的段 [%1]").arg(name));
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || section == Section::None)
            fail(lineNo, QStringLiteral("应为 键=值"));
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (!validKey(key))
            fail(lineNo, QStringLiteral("无效的键“%1”").arg(key));
        if (section == Section::Skin) {
            skin.m_values.insert(key, value);
        } else {
            const QColor color = QColor::fromString(value);
            static const QRegularExpression hex(
                QStringLiteral("^#([0-9A-Fa-f]{6}|[0-9A-Fa-f]{8})$"));
            if (!hex.match(value).hasMatch() || !color.isValid())
                fail(lineNo, QStringLiteral("无效的颜色“%1”").arg(value));
            auto it = std::find_if(skin.m_colors.begin(), skin.m_colors.end(),
                                   [&](const auto& c) { return c.first == key; });
            if (it != skin.m_colors.end())
                it->second = color;
            else if (skin.m_colors.size() >= kMaxColors)
                fail(lineNo, QStringLiteral("颜色过多"));
            else
                skin.m_colors.append({key, color});
        }
    }
    if (skin.Name().isEmpty())
        fail(0, QStringLiteral("缺少皮肤名称"));
    if (!sawStyle)
        fail(0, QStringLiteral("缺少 [style] 段"));

    // Resolve @colour references once, so applying the skin is cheap.
    static const QRegularExpression ref(QStringLiteral("@([A-Za-z_][A-Za-z0-9_]*)"));
    QString resolved;
    qsizetype last = 0;
    auto matches = ref.globalMatch(skin.m_styleTemplate);
    while (matches.hasNext()) {
        const auto m = matches.next();
        const QColor color = skin.Color(m.captured(1));
        if (!color.isValid())
            fail(0, QStringLiteral("样式引用了未定义的颜色 @%1").arg(m.captured(1)));
        resolved += QStringView(skin.m_styleTemplate).mid(last, m.capturedStart() - last);
        resolved += color.alpha() == 255 ? color.name(QColor::HexRgb)
                                         : QStringLiteral("rgba(%1, %2, %3, %4)")
                                               .arg(color.red())
                                               .arg(color.green())
                                               .arg(color.blue())
                                               .arg(color.alpha());
        last = m.capturedEnd();
    }
    resolved += QStringView(skin.m_styleTemplate).mid(last);
    skin.m_styleSheet = resolved;
    return skin;
}

TSkinDescription TSkinDescription::Charm()
{
    // Parsed once through the same path as any skin file.
    static const TSkinDescription charm = [] {
        QFile file(QStringLiteral(":/lumo/skins/charm.skin"));
        if (!file.open(QIODevice::ReadOnly))
            throw SkinError("内置皮肤 Charm 缺失");
        return FromText(QString::fromUtf8(file.readAll()));
    }();
    return charm;
}

QString TSkinDescription::ToText() const
{
    QString text = QStringLiteral("[skin]\n");
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        text += it.key() + QLatin1Char('=') + it.value() + QLatin1Char('\n');
    text += QStringLiteral("[colors]\n");
    for (const auto& c : m_colors)
        text += c.first + QLatin1Char('=') +
                c.second.name(c.second.alpha() == 255 ? QColor::HexRgb : QColor::HexArgb) +
                QLatin1Char('\n');
    text += QStringLiteral("[style]\n") + m_styleTemplate;
    return text;
}

int TSkinDescription::Metric(const QString& key, int fallback) const
{
    bool ok = false;
    const int value = m_values.value(key).toInt(&ok);
    return ok ? value : fallback;
}

QColor TSkinDescription::Color(const QString& key) const
{
    for (const auto& c : m_colors)
        if (c.first == key)
            return c.second;
    return {};
}

QPalette TSkinDescription::Palette() const
{
    QPalette palette;
    for (const auto& role : kPaletteRoles) {
        const QColor color = Color(QLatin1String(role.key));
        if (color.isValid())
            palette.setColor(role.role, color);
    }
    const QColor disabled = Color(QStringLiteral("disabledText"));
    if (disabled.isValid()) {
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(QPalette::Disabled, role, disabled);
    }
    return palette;
}

QFont TSkinDescription::Font(const QFont& base) const
{
    QFont font = base;
    QStringList families;
    for (const QString& family : Value(QStringLiteral("font")).split(QLatin1Char(','))) {
        if (!family.trimmed().isEmpty())
            families << family.trimmed();
    }
    if (!families.isEmpty())
        font.setFamilies(families);
    const int size = Metric(QStringLiteral("fontSize"), 0);
    if (size > 0 && size <= 72)
        font.setPointSize(size);
    return font;
}

bool TSkinDescription::operator==(const TSkinDescription& other) const
{
    return m_values == other.m_values && m_colors == other.m_colors &&
           m_styleTemplate == other.m_styleTemplate;
}
