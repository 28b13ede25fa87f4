#include "ui/result_list_model.h"

#include "platform/file_icons.h"
#include "ui/result_order.h"
#include "util/gbk.h"

namespace {

struct ColumnSpec
{
    const char16_t* header;
    int width;
};

constexpr ColumnSpec kColumns[TResultListModel::kColumnCount] = {
    {u"文件名称", 350}, {u"文件类型", 100}, {u"文件大小", 100}, {u"价值指数", 100},
    {u"人气指数", 100}, {u"收录时间", 100}, {u"文件地址", 250}, {u"文件ID", 70},
};

// Numbers line up on their last digit.
bool IsNumberColumn(int column)
{
    return column == 2 || column == 3 || column == 4 || column == 7;
}

} // namespace

TResultListModel::TResultListModel(QObject* parent) : QAbstractTableModel(parent) {}

void TResultListModel::SetImageList(TSystemImageList* icons)
{
    icons_ = icons;
    if (!rows_.isEmpty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, 0), {Qt::DecorationRole});
}

void TResultListModel::ReplaceRows(QVector<TResultRow> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    for (int i = 0; i < rows_.size(); ++i)
        rows_[i].Order = i;
    endResetModel();
}

int TResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const TResultRow& row = rows_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return Gbk::toUnicode(row.Column(index.column()));
    case Qt::DecorationRole:
        if (index.column() == 0 && icons_) {
            if (row.ImageIndex == TResultRow::kIconOfCaption)
                row.ImageIndex = GetSystemIconIndexA(row.Caption.constData(), 0);
            return icons_->Icon(row.ImageIndex);
        }
        return {};
    case Qt::TextAlignmentRole:
        if (IsNumberColumn(index.column()))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    default:
        return {};
    }
}

QVariant TResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // Header captions stay left: the sort arrow takes the right end.
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromUtf16(kColumns[section].header);
}

void TResultListModel::sort(int column, Qt::SortOrder order)
{
    if (rows_.size() < 2)
        return;
    const QVector<int> positions = SortedRowOrder(rows_, column, order);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current row follow their rows.
    QVector<int> newPosition(rows_.size());
    QVector<TResultRow> sorted;
    sorted.reserve(rows_.size());
    for (int i = 0; i < positions.size(); ++i) {
        newPosition[positions[i]] = i;
        sorted.append(std::move(rows_[positions[i]]));
    }
    rows_ = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newPosition.value(index.row()), index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TResultListModel::ColumnWidth(int column)
{
    return column >= 0 && column < kColumnCount ? kColumns[column].width : 0;
}
