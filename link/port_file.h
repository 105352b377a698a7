#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kv306 {

// Com.TXT, beside the program: one line, the chosen port name in double quotes, then CR LF.
inline constexpr char kPortFileName[] = "Com.TXT";

// The port name that the file's content remembers, or nothing when the content does not name
// one of COM1 to COM20 (empty, garbage, binary). The first field counts: a quoted field runs to
// its closing quote, a bare one to a comma or the line end. Its port number is the decimal number
// that starts at its fourth character, so "COM05" and "COM5 " give "COM5".
std::optional<QString> ParsePortFile(const QByteArray &content);

// Reads and parses the file; a missing, unreadable or odd file remembers nothing.
std::optional<QString> ReadPortFile(const QString &path);

// Creates or replaces the file with `name`. Throws CommError (75) when it cannot be written;
// a file that was there before is then left as it was.
void WritePortFile(const QString &path, const QString &name);

}  // namespace kv306
