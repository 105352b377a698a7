#pragma once

#include "link/checked.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace kv306 {

// Com.TXT, beside the program: one line, the chosen port name in double quotes, then CR LF.
inline constexpr char kPortFileName[] = "Com.TXT";

// The port name that the file's content remembers, or nothing when the content does not name
// one of COM1 to COM20 or a network port ("rfc2217://host:2217") (empty, garbage, binary); `why` then says
// what is wrong with it. The first field counts: a quoted field runs to its closing quote, a bare one to a
// comma or the line end. Its port number is the decimal number that starts at its fourth character, so
// "COM05" and "COM5 " give "COM5". Notepad's ways of saving are read too: a byte-order mark, UTF-16, "com5".
Checked<QString> ParsePortFile(const QByteArray &content);

// What a Com.TXT remembers, and why it remembers nothing when that is so.
struct RememberedPort {
    QString path;
    bool exists = false;          // there is something of that name
    std::optional<QString> name;  // the port it names
    QString problem;              // why a file that is there names no port ("names COM21, ...")
};
RememberedPort ReadRememberedPort(const QString &path);
// Reads and parses the file; a missing, unreadable or odd file remembers nothing.
std::optional<QString> ReadPortFile(const QString &path);

// Creates or replaces the file with `name`, creating the folder it lives in when that is missing.
// Throws CommError (75) when it cannot be written, with a message that names the file or the
// folder and the system's cause; a file that was there before is then left as it was. A Com.TXT
// that is a symbolic link is never written through: whoever made the link keeps what it leads to.
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
// The Com.TXT that start-up reads: the user's own when it is there, else one beside an installed
// program (even an unreadable one, so that what is wrong with it can be said).
QString PortFileToRead(const QString &appDir);
// The Com.TXT that a port choice writes.
QString PortFileToWrite(const QString &appDir);

}  // namespace kv306
