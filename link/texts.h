#pragma once

#include <QCoreApplication>

namespace kv306 {

// The texts the window shows are Chinese in the code, and translated at run time when another
// language is installed (an English operator's locale). Tx::tr marks them for lupdate; a table
// of texts marks its entries with QT_TRANSLATE_NOOP("Tx", ...) and passes them through Tx::tr.
struct Tx {
    Q_DECLARE_TR_FUNCTIONS(Tx)
};

}  // namespace kv306
