#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>

#include <chrono>
#include <thread>

namespace kv306 {

namespace {

constexpr int kSleepMarginUs = 400;

}  // namespace

void QtToolkit::MsgBox(const QString &text, int code, const std::optional<QString> &title)
{
    // Before the window shows (start-up), a box stands alone in the middle of the screen.
    // An empty title would be replaced by the application's name on X11; a blank one stays blank.
    QString shown = title ? *title : QCoreApplication::applicationName();
    if (shown.isEmpty())
        shown = QStringLiteral(" ");
    QMessageBox box(code == kMsgCritical ? QMessageBox::Critical : QMessageBox::NoIcon, shown, text,
                    QMessageBox::Ok, owner_ && owner_->isVisible() ? owner_ : nullptr);
    box.exec();
}

void QtToolkit::Sleep(int ms)
{
    if (ms <= 0)
        return;
    // The system wakes a sleeper a few tenths of a millisecond late, and an exchange has four
    // pauses: sleep short of the deadline, then wait out the rest by watching the clock.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ms);
    std::this_thread::sleep_until(deadline - microseconds(kSleepMarginUs));
    while (steady_clock::now() < deadline)
        std::this_thread::yield();
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
