#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the client remembers for its user between runs: where its main and
// preview windows were (QWidget::saveGeometry, which holds size, position
// and the maximised state), the widths of the result columns and the last
// keywords searched for. Kept in a file of its own: settings.cfg keeps the
// format other programs read.
struct TWindowMemory
{
    static constexpr int kMaxKeywords = 50;

    QByteArray MainGeometry;
    QByteArray PreviewGeometry;
    // One width per result column, or empty for the design widths.
    QList<int> ColumnWidths;
    // Latest first, each once.
    QStringList Keywords;

    void RememberKeyword(const QString& keyword);

    // A missing, unreadable or damaged file, or one that is not ours, gives
    // the defaults; values out of range are dropped one by one.
    static TWindowMemory Load(const QString& path);
    // Replaces the file atomically; a link at `path` is replaced, never
    // followed. False when the file could not be written.
    bool Save(const QString& path) const;
};

// The memory file in the folder of settings.cfg (ending in "/"), beside it
// and never inside it: other programs read settings.cfg by its format.
QString WindowMemoryPath(const QString& settingsFolder);
