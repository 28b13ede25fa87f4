#include "ui/result_list_model.h"

#include "platform/file_icons.h"
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
    default:
        return {};
    }
}

QVariant TResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromUtf16(kColumns[section].header);
}

int TResultListModel::ColumnWidth(int column)
{
    return column >= 0 && column < kColumnCount ? kColumns[column].width : 0;
}
