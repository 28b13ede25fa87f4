#pragma once

#include "ui/result_row.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A search reply read into result rows, without any window: the main
// window shows what this returns, and the fuzz target feeds it anything.
struct TSearchReply
{
    // Elements of the reply's array; -1 when the reply is no JSON array.
    int Length = -1;
    // One row per element that is an object, in reply order, at most
    // kMaxResultRows (an empty array: the window shows its placeholder).
    QVector<TResultRow> Rows;
};

// A page of the service holds a few dozen hits; more than this many rows
// would only make the list slow to fill and to scroll.
constexpr int kMaxResultRows = 1000;

// `reply`: the body in the client's code page.
TSearchReply ReadSearchReply(const QByteArray& reply);

// A size in bytes as the list shows it (two decimals and GB, MB or KB, or
// the plain number and B).
QString FileSizeText(qint64 size);
