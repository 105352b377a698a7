#pragma once

#include "protocol/line_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kv306 {

// The SQL of the line's store, apart from the talking to it.

// What store init makes besides the table, and how a version 1 table is brought forward.
extern const char kTallySql[];

// The figures of the rows a filter keeps, as two queries: the counts of each group, and the
// failures' reasons; with their parameters ($1, $2, ...).
struct FiguresQuery {
    QString counts;
    QString reasons;
    QList<QByteArray> params;
};
FiguresQuery FiguresQueryOf(const LineStore::Filter &filter);

}  // namespace kv306
