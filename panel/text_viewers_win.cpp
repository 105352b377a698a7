#include "panel/program_files.h"

namespace kv306 {

QStringList TextViewers()
{
    return {QStringLiteral("notepad")};
}

}  // namespace kv306
