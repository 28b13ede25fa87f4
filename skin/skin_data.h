#pragma once

#include "skin/skin_description.h"

#include <QObject>

// The skin holder. It applies one skin description to the whole
// application at once (style, palette, font and style sheet), so every open
// window and every window created later takes the same look. A skin file is
// only another source of a description: whatever reads it hands the
// description to Apply.
class TSkinData : public QObject
{
    Q_OBJECT

public:
    // Starts with the built-in skin "Charm" applied.
    explicit TSkinData(QObject* owner = nullptr);

    void Apply(const TSkinDescription& skin);
    // Parses and applies; throws SkinError and keeps the current look when
    // the text holds no valid skin.
    void LoadFromText(const QString& text);
    // Reads a skin file (its description is UTF-8 text in the form above)
    // and applies it; throws SkinFileError or SkinError and keeps the
    // current look when the file holds no valid skin.
    void LoadFromFile(const QString& path);
    void LoadBuiltin() { Apply(TSkinDescription::Charm()); }

    const TSkinDescription& Current() const { return m_current; }
    QString SkinName() const { return m_current.Name(); }

signals:
    void skinChanged();

private:
    TSkinDescription m_current;
};
