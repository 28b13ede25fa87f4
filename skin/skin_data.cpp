#include "skin/skin_data.h"

#include "skin/skin_file.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

TSkinData::TSkinData(QObject* owner) : QObject(owner)
{
    Apply(TSkinDescription::Charm());
}

void TSkinData::Apply(const TSkinDescription& skin)
{
    // Fusion draws every control from the palette and honours style sheets
    // fully, so one description gives the same look on every platform.
    if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0) {
        if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
            QApplication::setStyle(fusion);
    }
    QApplication::setPalette(skin.Palette());
    QApplication::setFont(skin.Font(QApplication::font()));
    // Setting the application style sheet re-polishes every existing widget.
    qApp->setStyleSheet(skin.StyleSheet());
    m_current = skin;
    emit skinChanged();
}

void TSkinData::LoadFromText(const QString& text)
{
    Apply(TSkinDescription::FromText(text));
}

void TSkinData::LoadFromFile(const QString& path)
{
    LoadFromText(QString::fromUtf8(ReadSkinFile(path)));
}
