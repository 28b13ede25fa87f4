#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QMap>
#include <QPair>
#include <QPalette>
#include <QString>

// One skin as a value: named colours, a few settings and a style sheet.
//
// The text form (the built-in skin and, compressed, a skin file):
//
//   ; comment
//   [skin]
//   name=Charm
//   font=Microsoft YaHei, WenQuanYi Micro Hei
//   fontSize=9
//   itemHeight=20
//   [colors]
//   window=#eef2f7
//   accent=#3b7dd8
//   [style]
//   QPushButton { background: @accent; }
//
// Colours whose key names a palette role (window, windowText, base, text,
// button, buttonText, highlight, ... and disabledText) make the application
// palette; every colour can be used in the style sheet as @key. The [style]
// section comes last and runs to the end of the text, unparsed.
class TSkinDescription
{
public:
    // Throws SkinError for a text that holds no valid skin.
    static TSkinDescription FromText(const QString& text);
    // The built-in default skin "Charm".
    static TSkinDescription Charm();

    QString ToText() const;

    QString Name() const { return Value("name"); }
    QString Value(const QString& key) const { return m_values.value(key); }
    int Metric(const QString& key, int fallback) const;
    QColor Color(const QString& key) const;
    QPalette Palette() const;
    // The skin's font families and point size applied to `base`.
    QFont Font(const QFont& base) const;
    // The style sheet with every @colour replaced by its value.
    QString StyleSheet() const { return m_styleSheet; }

    bool operator==(const TSkinDescription& other) const;

private:
    QMap<QString, QString> m_values;
    QList<QPair<QString, QColor>> m_colors; // in text order
    QString m_styleTemplate;
    QString m_styleSheet;
};
