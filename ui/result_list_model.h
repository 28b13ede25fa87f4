#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QVector>

#include <array>
#include <optional>

class TSystemImageList;

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

// The rows of the result list. A reply replaces all rows in one reset, so
// the view repaints once however many hits arrive. The rows come in the
// service's order; sort() reorders them for a column header, and column -1
// brings the service's order back. The placeholder row is never moved.
class TResultListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kColumnCount = 8;

    explicit TResultListModel(QObject* parent = nullptr);

    void SetImageList(TSystemImageList* icons);
    void ReplaceRows(QVector<TResultRow> rows);
    const QVector<TResultRow>& Rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    static int ColumnWidth(int column);

private:
    QVector<TResultRow> rows_;
    TSystemImageList* icons_ = nullptr;
};
