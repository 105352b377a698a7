#pragma once

#include <QString>

namespace kv306 {

// The system's own words for a Windows error code ("The system cannot find the file specified.").
// Windows builds only.
QString WindowsMessage(unsigned long code);

}  // namespace kv306
