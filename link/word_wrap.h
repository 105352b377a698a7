#pragma once

#include <QString>

namespace kv306 {

// `text` in lines of at most 80 characters, the first after `first`, the others indented as far:
// a program's --help, its options and exit codes beside their names.
QString Wrapped(const QString &first, const QString &text);

}  // namespace kv306
