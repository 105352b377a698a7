#pragma once

#include <QSettings>
#include <QString>

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

// Where a file the operator chose to write goes: the chosen path itself, or the file its symbolic
// link leads to (the link stays); refused, with the reason, when that is no plain file (a pipe, a
// device, a folder), which a save would otherwise replace. A name without an ending gets
// `suffix` only when nothing of that name exists.
struct SaveTarget {
    QString path;     // where to write; empty when refused
    QString refusal;  // why not, in the window's language
    bool suffixAdded = false;
};
SaveTarget ChooseSaveTarget(const QString &chosen, const QString &suffix);
// Writes `content` to a target chosen so, whole or not at all; the reason when it could not.
std::optional<QString> SaveToTarget(const SaveTarget &target, const QByteArray &content);

}  // namespace kv306
