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

// Where Com.TXT lives.
//
// Portable (the user may write the program's own directory: a build folder, an unpacked copy or
// zip): beside the program. Installed (../share/kv306 beside the program, as /usr/bin or the
// Windows installer's bin\ folder, or a directory that is not the user's): in
// $XDG_CONFIG_HOME/kv306/Com.TXT (default ~/.config/kv306/; %APPDATA%\kv306 on Windows). A Com.TXT that
// a site ships beside an installed program is read while the user has chosen none of their own.

// A portable copy: `appDir` is not an installed program folder (one with ../share/kv306 beside
// it), and the user may create files in it (asked with the effective user, as a write would be).
bool IsPortable(const QString &appDir);
// $XDG_CONFIG_HOME/kv306, by default ~/.config/kv306 (on Windows %APPDATA%\kv306): the user's
// Com.TXT, port table (ports/) and the window's settings.
QString UserConfigDir();
// The Com.TXT that start-up reads.
QString PortFileToRead(const QString &appDir);
// The Com.TXT that a port choice writes.
QString PortFileToWrite(const QString &appDir);

}  // namespace kv306
