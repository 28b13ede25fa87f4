#pragma once

#include <QByteArray>

#include <array>
#include <optional>

// One search hit as the result list shows it: the caption (file name),
// seven sub-items in column order and an index into the file-type icons.
// Texts are in the client's code page.
struct TResultRow
{
    // The icon of the caption's file type, looked up when the row is first
    // shown: a reply of many hits does not wait for icons nobody sees.
    static constexpr int kIconOfCaption = -2;

    QByteArray Caption;
    std::array<QByteArray, 7> SubItems;
    mutable int ImageIndex = -1;
    // The size in bytes behind the size column, when the reply gave one.
    std::optional<qint64> Bytes;
    // Position in the service's reply; set by the model.
    int Order = 0;

    // Column 0 is the caption, 1..7 the sub-items.
    const QByteArray& Column(int column) const
    {
        return column == 0 ? Caption : SubItems[size_t(column - 1)];
    }
};
