#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QThread>

namespace kv306 {

void QtToolkit::MsgBox(const QString &text, int code, const std::optional<QString> &title)
{
    QMessageBox box(code == kMsgCritical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    title ? *title : QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

void QtToolkit::Sleep(int ms)
{
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

void QtToolkit::DoEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString QtToolkit::AppPath()
{
    return QCoreApplication::applicationDirPath();
}

bool QtToolkit::StartProgram(const QString &program, const QStringList &arguments)
{
    // An argument list, never a shell: a directory name with spaces or quotes stays one argument.
    return QProcess::startDetached(program, arguments);
}

}  // namespace kv306
