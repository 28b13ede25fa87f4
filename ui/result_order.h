#pragma once

#include "ui/result_list_model.h"

#include <QVector>

// The order in which the result list shows `rows` when sorted by `column`:
// the file sizes, value and popularity indexes and file ids as numbers,
// the indexing date as a date, the texts by the collation of the user's
// locale. Rows without a usable value go last in either order, and ties
// keep the order the service sent. Column -1 is the service's own order.
// Returns row positions into `rows`.
QVector<int> SortedRowOrder(const QVector<TResultRow>& rows, int column, Qt::SortOrder order);
