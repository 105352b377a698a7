#include "panel/program_files.h"

#include "link/port_file.h"
#include "link/texts.h"
#include "panel/toolkit.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

namespace kv306 {

QSettings UserSettings()
{
    const QString path = UserConfigDir() + QStringLiteral("/kv306.conf");
    // Only a plain file that can be read: a pipe of that name would hold the window for ever,
    // and a folder or an unreadable file gives nothing. Such a file is left alone; the defaults
    // serve and what changes is not kept.
    const QFileInfo info(path);
    if (!NotPlainFile(path).isEmpty() || (info.exists() && !info.isReadable()))
        return QSettings(QStringLiteral("/dev/null/kv306.conf"), QSettings::IniFormat);
    return QSettings(path, QSettings::IniFormat);
}

QString HelpFilePath(const QString &appDir, const QString &name)
{
    const QString beside = appDir + QLatin1Char('/') + name;
    if (IsPortable(appDir))
        return beside;
    const QString installed = QDir::cleanPath(appDir + QStringLiteral("/../share/kv306/") + name);
    return QFileInfo::exists(installed) ? installed : beside;
}

void OpenHelpFile(Toolkit &toolkit, const QString &help, QObject *owner)
{
    const QStringList viewers = TextViewers();
    // The tool's own viewer when the system's shows nothing; a box saying where the file is
    // when the file cannot be read either.
    auto showOwn = [&toolkit, help] {
        if (!toolkit.ShowTextFile(Tx::tr("使用帮助"), help))
            toolkit.MsgBox(Tx::tr("找不到可以打开帮助文件的程序，请用文本编辑器打开：") + QLatin1Char('\n') +
                               help,
                           kMsgOkOnly, QString());
    };
    for (const QString &viewer : viewers) {
        const QString program = QStandardPaths::findExecutable(viewer);
        if (program.isEmpty())
            continue;
        if (viewer == QLatin1String("xdg-open")) {
            // xdg-open with no handler for text ends in failure, long after this returns: the
            // window that asked may be gone by then.
            QPointer<QObject> asked(owner);
            if (toolkit.StartOpener(program, {help}, [asked, showOwn] {
                    if (asked)
                        showOwn();
                }))
                return;
        } else if (toolkit.StartProgram(program, {help})) {
            return;
        }
    }
    showOwn();
}

}  // namespace kv306
