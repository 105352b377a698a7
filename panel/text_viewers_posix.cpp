#include "panel/program_files.h"

namespace kv306 {

QStringList TextViewers()
{
    // The desktop's own handler for text first, then the editors desktops commonly ship.
    return {QStringLiteral("xdg-open"),   QStringLiteral("gnome-text-editor"),
            QStringLiteral("gedit"),      QStringLiteral("mousepad"),
            QStringLiteral("kwrite"),     QStringLiteral("kate"),
            QStringLiteral("pluma"),      QStringLiteral("xed"),
            QStringLiteral("featherpad"), QStringLiteral("leafpad")};
}

}  // namespace kv306
