#pragma once

#include "ui/result_row.h"

#include <QAbstractTableModel>
#include <QVector>

class TSystemImageList;

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
