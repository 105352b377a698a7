#pragma once

#include "link/output_file.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <optional>

namespace kv306 {

// The window's own files, found by the rule of link/port_file.h: a portable copy keeps them
// beside the program, an installed one in the user's configuration folder and its data folder.

// The window's own settings (the extras': the check mark, the log window's size), kept in
// UserConfigDir()/kv306.conf and never in Com.TXT. A kv306.conf that is no readable plain file
// is ignored: the defaults serve.
QSettings UserSettings();
// The help file, `name` being help.txt or a twin in another language (help_en.txt): beside a
// portable program, in DIR/../share/kv306/ for an installed one.
QString HelpFilePath(const QString &appDir, const QString &name = QStringLiteral("help.txt"));

class Toolkit;
// Shows the help file in a program of the system's (xdg-open, else the first text editor found;
// Notepad on Windows), else in the tool's own viewer, else says in a box where it is. Returns at
// once; a viewer that fails later falls back on the tool's own while `owner` lives.
void OpenHelpFile(Toolkit &toolkit, const QString &help, QObject *owner);
// The programs that show a text file on this system, tried in turn (text_viewers_posix.cpp,
// text_viewers_win.cpp).
QStringList TextViewers();

}  // namespace kv306
