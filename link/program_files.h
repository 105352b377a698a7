#pragma once

#include <QSettings>
#include <QString>

namespace kv306 {

// Where the program keeps its files.
//
// Portable (the user may write the program's own directory: a build folder, an unpacked copy):
// Com.TXT and help.txt beside the program. Installed (the directory is not the user's, as
// /usr/bin or /opt/kv306/bin): the remembered port in $XDG_CONFIG_HOME/kv306/Com.TXT (default
// ~/.config/kv306/), help.txt in the installed data folder, DIR/../share/kv306/. A Com.TXT that
// a site ships beside an installed program is read while the user has chosen none of their own.

// A portable copy: `appDir` is not an installed program folder (one with ../share/kv306 beside
// it), and the user may create files in it (asked with the effective user, as a write would be).
bool IsPortable(const QString &appDir);
// $XDG_CONFIG_HOME/kv306, by default ~/.config/kv306.
QString UserConfigDir();
// The window's own settings (the extras': the check mark, the log window's size), kept in
// UserConfigDir()/kv306.conf and never in Com.TXT. A kv306.conf that is no readable plain file
// is ignored: the defaults serve.
QSettings UserSettings();
// The Com.TXT that start-up reads.
QString PortFileToRead(const QString &appDir);
// The Com.TXT that a port choice writes.
QString PortFileToWrite(const QString &appDir);
// The help file, `name` being help.txt or a twin in another language (help_en.txt).
QString HelpFilePath(const QString &appDir, const QString &name = QStringLiteral("help.txt"));

}  // namespace kv306
