#include "panel/qt_toolkit.h"

#include "link/output_file.h"
#include "link/texts.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QVBoxLayout>

namespace kv306 {

void QtToolkit::MsgBox(const QString &text, int code, const std::optional<QString> &title)
{
    // Before the window shows (start-up), a box stands alone in the middle of the screen.
    // An empty title would be replaced by the application's name on X11; a blank one stays blank.
    QString shown = title ? *title : QCoreApplication::applicationName();
    if (shown.isEmpty())
        shown = QStringLiteral(" ");
    const QMessageBox::Icon icon = code == kMsgCritical      ? QMessageBox::Critical
                                   : code == kMsgExclamation ? QMessageBox::Warning
                                                             : QMessageBox::NoIcon;
    QMessageBox box(icon, shown, text, QMessageBox::Ok, owner_ && owner_->isVisible() ? owner_ : nullptr);
    box.exec();
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

bool QtToolkit::StartOpener(const QString &program, const QStringList &arguments,
                            std::function<void()> failed)
{
    // Not detached, so that its end is seen: xdg-open with no handler for text ends in failure.
    auto *process = new QProcess(owner_);
    QObject::connect(process, &QProcess::finished, process,
                     [process, failed](int code, QProcess::ExitStatus status) {
                         if ((code != 0 || status != QProcess::NormalExit) && failed)
                             failed();
                         process->deleteLater();
                     });
    process->start(program, arguments);
    if (!process->waitForStarted(3000)) {
        delete process;
        return false;
    }
    return true;
}

QString QtToolkit::AskSaveFile(const QString &title, const QString &suggested, const QString &filter)
{
    QFileDialog dialog(owner_, title, suggested, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(suggested);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

bool QtToolkit::AskYesNo(const QString &text, const QString &title)
{
    return QMessageBox::question(owner_, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

bool QtToolkit::ProgressCancelled()
{
    return progress_ && progress_->wasCanceled();
}

QString QtToolkit::AskOpenFile(const QString &title, const QString &folder, const QString &filter)
{
    return QFileDialog::getOpenFileName(owner_, title, folder, filter);
}

bool QtToolkit::ShowProgress(const QString &text, int done, int total)
{
    if (!progress_) {
        progress_ = new QProgressDialog(text, Tx::tr("取消"), 0, total, owner_);
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
    }
    progress_->setLabelText(text);
    progress_->setMaximum(total);
    progress_->setValue(done);
    QCoreApplication::processEvents();
    const bool cancelled = progress_->wasCanceled();
    if (done >= total || cancelled) {
        delete progress_;
        progress_ = nullptr;
    }
    return !cancelled;
}

bool QtToolkit::ShowTextFile(const QString &title, const QString &path)
{
    QFile file(path);
    if (!OpenToRead(file))
        return false;
    auto *viewer = new QWidget(owner_, Qt::Window);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(title);
    auto *text = new QPlainTextEdit(QString::fromUtf8(file.read(1 << 20)), viewer);
    text->setReadOnly(true);
    // help.txt is laid out in columns.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({fixed.family(), QStringLiteral("WenQuanYi Micro Hei Mono"),
                       QStringLiteral("Noto Sans Mono CJK SC")});
    text->setFont(fixed);
    // Long lines wrap at the window's edge, whatever its width (a cut line hid its end).
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto *layout = new QVBoxLayout(viewer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(text);
    viewer->resize(640, 560);
    viewer->show();
    return true;
}

}  // namespace kv306
