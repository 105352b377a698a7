#include "panel/main_window.h"

#include "link/network_port.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/texts.h"
#include "panel/program_files.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <memory>

namespace kv306 {

namespace {

QString ProfileFilter()
{
    return Tx::tr("参数文件 (*.json);;所有文件 (*)");
}

// The reasons a profile is refused, as the command line gives them, inside a Chinese sentence.
QString Refused(const QString &path, const QString &reason)
{
    return Tx::tr("无法导入参数文件 %1：\n%2").arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

MainWindow::MainWindow(Toolkit &toolkit, QWidget *parent) : QMainWindow(parent), toolkit_(toolkit)
{
    form_ = new Form1(toolkit, this);
    setCentralWidget(form_);
    setWindowTitle(form_->windowTitle());
    form_->Actions().Core().SetLog(&log_);
    BuildMenus();
    BuildStatusLine();
    // The area between the menu bar and the status line is the window's own fixed size.
    setFixedSize(form_->width(),
                 form_->height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    SetVerifyAfterSave(UserSettings().value(QStringLiteral("verifyAfterSave"), false).toBool());
    readAtStartAction->setChecked(UserSettings().value(QStringLiteral("readAtStart"), false).toBool());
    TlsDialog::UseSaved();
}

MainWindow::~MainWindow()
{
    // A probe let go by a cancel writes into the log: it ends (within the reply wait) first.
    for (QThread *worker : letGo_) {
        worker->wait();
        delete worker;
    }
    form_->Actions().Core().SetLog(nullptr);
    delete logWindow_;
}

void MainWindow::BuildMenus()
{
    QMenu *file = menuBar()->addMenu(Tx::tr("文件(&F)"));
    exportAction = file->addAction(Tx::tr("导出参数(&E)…"), this, &MainWindow::ExportParams);
    importAction = file->addAction(Tx::tr("导入参数(&I)…"), this, &MainWindow::ImportParams);
    file->addSeparator();
    quitAction = file->addAction(Tx::tr("退出(&X)"), this, &QWidget::close);
    quitAction->setShortcut(QKeySequence::Quit);

    QMenu *tools = menuBar()->addMenu(Tx::tr("工具(&T)"));
    findAction = tools->addAction(Tx::tr("查找设备(&D)"), this, &MainWindow::FindUnit);
    verifyAction = tools->addAction(Tx::tr("保存后校验(&V)"));
    verifyAction->setCheckable(true);
    connect(verifyAction, &QAction::toggled, this, &MainWindow::SetVerifyAfterSave);
    readAtStartAction = tools->addAction(Tx::tr("启动时读出参数(&R)"));
    readAtStartAction->setCheckable(true);
    connect(readAtStartAction, &QAction::toggled, this,
            [](bool on) { UserSettings().setValue(QStringLiteral("readAtStart"), on); });
    logAction = tools->addAction(Tx::tr("通信记录(&L)…"), this, [this] { ShowLog(); });
    tools->addSeparator();
    productionAction = tools->addAction(Tx::tr("生产模式(&P)…"), this, [this] { ShowProduction(); });
    tools->addSeparator();
    tlsAction = tools->addAction(Tx::tr("TLS 证书(&S)…"), this, [this] { ShowTlsSettings(); });

    QMenu *help = menuBar()->addMenu(Tx::tr("帮助(&H)"));
    helpAction = help->addAction(Tx::tr("使用帮助(&H)"), form_, &Form1::OnHelpClicked);
    aboutAction = help->addAction(Tx::tr("关于(&A)"), this, &MainWindow::About);
}

ProductionDialog *MainWindow::ShowProduction()
{
    if (!production_) {
        SettleProbes();
        // The port the window's actions use: a COM port, or one behind a serial device server.
        const Checked<PortRef> port = form_->ShownPort();
        if (!port || port->kind() == PortRef::Kind::Path) {
            toolkit_.MsgBox(Tx::tr("没有可用的串口：请先接上转接器并选择串口。"), kMsgExclamation,
                            Tx::tr("生产模式"));
            return nullptr;
        }
        production_ = new ProductionDialog(
            toolkit_, *port, form_->Lists(), [this](int k) { return form_->ListCaption(k); }, this);
        production_->setAttribute(Qt::WA_DeleteOnClose);
        production_->setWindowModality(Qt::WindowModal);
        connect(production_, &ProductionDialog::RunningChanged, this, [this](bool running) {
            // The station has the port to itself.
            if (running && form_->Serial().PortOpen())
                form_->Link().CloseLink();
            form_->setEnabled(!running);
            menuBar()->setEnabled(!running);
            SetOutcome(running ? Tx::tr("生产模式运行中") : Tx::tr("生产模式已停止"));
        });
    }
    production_->show();
    production_->raise();
    return production_;
}

TlsDialog *MainWindow::ShowTlsSettings()
{
    auto *dialog = new TlsDialog(toolkit_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->show();
    return dialog;
}

void MainWindow::BuildStatusLine()
{
    outcomeStatus_ = new QLabel(this);
    portStatus_ = new QLabel(this);
    statusBar()->addWidget(outcomeStatus_, 1);
    portStatus_->setContentsMargins(0, 0, 6, 0);
    statusBar()->addPermanentWidget(portStatus_);
    statusBar()->setSizeGripEnabled(false);
    form_->Actions().Told = [this](const QString &text, const QDateTime &at) {
        SetOutcome(text, at);
        FollowPortDevice();
    };
    form_->Actions().Busy = [this](const QString &what) { ShowBusy(what); };
    form_->SettleProbes = [this] { SettleProbes(); };
    connect(form_, &Form1::Noted, this, [this](const QString &text) { SetOutcome(text); });
    connect(form_, &Form1::PortChanged, this, [this] { ShowPort(true); });
    connect(form_->PortList(), &DropList::AboutToOpen, this, &MainWindow::FollowPortDevice);
    devicePoll_.setInterval(2000);
    connect(&devicePoll_, &QTimer::timeout, this, &MainWindow::FollowPortDevice);
    devicePoll_.start();
}

void MainWindow::SetOutcome(const QString &text, const QDateTime &at)
{
    outcomeStatus_->setText(at.time().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + text);
    outcomeStatus_->setToolTip(outcomeStatus_->text());
}

void MainWindow::ShowBusy(const QString &what)
{
    if (what.isEmpty()) {
        if (busyCursor_)
            QApplication::restoreOverrideCursor();
        busyCursor_ = false;
        return;
    }
    if (!busyCursor_)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    busyCursor_ = true;
    outcomeStatus_->setText(what);
    // The exchange holds the window's thread: paint now, or nothing shows until it is over.
    outcomeStatus_->repaint();
}

void MainWindow::SettleProbes()
{
    bool waited = false;
    for (QThread *worker : letGo_) {
        if (!worker->isFinished() && !waited) {
            ShowBusy(Tx::tr("等待查找设备的最后一次读出结束…"));
            waited = true;
        }
        worker->wait();  // within the reply wait's bound
        delete worker;
    }
    letGo_.clear();
    if (waited)
        ShowBusy(QString());
}

void MainWindow::ShowPort(bool problem)
{
    // As the port list describes its entries: the device, and for an adapter what it is.
    SerialControl &serial = form_->Serial();
    const PortIdentity id = IdentifyPorts({serial.Port()}).value(0);
    const QString device = id.device.isEmpty() ? serial.DevicePath() : id.Text();
    shownDevice_ = QFileInfo(serial.DevicePath()).canonicalFilePath();
    // On Windows the port's name is its device.
    portStatus_->setText(
        id.device == serial.PortLabel() ? device : serial.PortLabel() + QStringLiteral("  ") + device);
    if (problem && !form_->PortProblem().isEmpty()) {
        outcomeStatus_->setText(form_->PortProblem());
        outcomeStatus_->setToolTip(form_->PortProblem());
    }
}

void MainWindow::FollowPortDevice()
{
    if (QFileInfo(form_->Serial().DevicePath()).canonicalFilePath() != shownDevice_)
        ShowPort(false);
}

QString MainWindow::StatusText() const
{
    return outcomeStatus_->text() + QStringLiteral(" | ") + portStatus_->text();
}

void MainWindow::ReadAtStart()
{
    if (readAtStartAction->isChecked())
        form_->Actions().ReadQuietly();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    form_->close();  // which ends a hold
    if (logWindow_)
        logWindow_->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::ExportParams()
{
    QSettings settings = UserSettings();
    const QString folder = settings.value(QStringLiteral("profileFolder"), QDir::homePath()).toString();
    const QString chosen =
        toolkit_.AskSaveFile(Tx::tr("导出参数"), folder + QStringLiteral("/kv306.json"), ProfileFilter());
    if (chosen.isEmpty())
        return;
    const SaveTarget target = ChooseSaveTarget(chosen, QStringLiteral("json"));
    // The dialog asked about the name given; the ending added makes another one: ask about it.
    if (target.suffixAdded && QFileInfo::exists(target.path) &&
        !toolkit_.AskYesNo(Tx::tr("%1 已存在。\n要替换它吗？").arg(QDir::toNativeSeparators(target.path)),
                           Tx::tr("导出参数")))
        return;
    const Params params = form_->Lists();
    if (const Done error = SaveToTarget(target, ProfileJson(params)); !error) {
        const QString text =
            Tx::tr("无法导出参数文件 %1：\n%2").arg(QDir::toNativeSeparators(chosen), error.reason);
        toolkit_.MsgBox(text, kMsgCritical, Tx::tr("错误"));
        SetOutcome(Tx::tr("导出失败：%1").arg(error.reason));
        return;
    }
    settings.setValue(QStringLiteral("profileFolder"), QFileInfo(target.path).absolutePath());
    SetOutcome(Tx::tr("已导出 %1 到 %2").arg(ParamsInWords(params), QDir::toNativeSeparators(target.path)));
}

void MainWindow::ImportParams()
{
    QSettings settings = UserSettings();
    const QString folder = settings.value(QStringLiteral("profileFolder"), QDir::homePath()).toString();
    const QString path = toolkit_.AskOpenFile(Tx::tr("导入参数"), folder, ProfileFilter());
    if (path.isEmpty())
        return;
    settings.setValue(QStringLiteral("profileFolder"), QFileInfo(path).absolutePath());
    // A refusal names the list a value is for, as the window shows it.
    const Checked<Params> profile = ReadProfile(path, [this](int k) {
        return Tx::tr("%1（\"%2\"）").arg(form_->ListCaption(k), QLatin1String(Param(k).key));
    });
    if (!profile) {
        toolkit_.MsgBox(Refused(path, profile.reason), kMsgCritical, Tx::tr("错误"));
        SetOutcome(Tx::tr("导入失败：%1").arg(profile.reason));
        return;
    }
    // As a read-back puts them: the video standard's preset held. Nothing goes to the unit
    // until the operator presses "保存".
    form_->ShowParams(*profile);
    SetOutcome(Tx::tr("已导入 %1：%2，尚未写入设备（按“保存”写入）")
                   .arg(QFileInfo(path).fileName(), ParamsInWords(*profile)));
}

void MainWindow::SetVerifyAfterSave(bool on)
{
    form_->Actions().VerifyAfterSave = on;
    if (verifyAction->isChecked() != on)
        verifyAction->setChecked(on);
    UserSettings().setValue(QStringLiteral("verifyAfterSave"), on);
}

LogWindow &MainWindow::ShowLog()
{
    if (!logWindow_)
        logWindow_ = new LogWindow(log_, toolkit_, nullptr);
    logWindow_->show();
    logWindow_->raise();
    return *logWindow_;
}

void MainWindow::FindUnit()
{
    // A port freed since the last look is tried too.
    SettleProbes();
    form_->FollowPlug(true);
    QStringList names;
    for (int i = 0; i < form_->PortList()->count(); ++i)
        names << form_->PortList()->itemText(i);
    // The port in use is let go, so that its own unit can answer too.
    if (form_->Serial().PortOpen())
        form_->Link().CloseLink();
    QStringList found;
    bool cancelled = false;
    for (int i = 0; i < names.size() && !cancelled; ++i) {
        if (!toolkit_.ShowProgress(
                Tx::tr("正在查找设备：%1（%2/%3）").arg(names[i]).arg(i + 1).arg(names.size()), i,
                static_cast<int>(names.size()))) {
            cancelled = true;
            break;
        }
        // The read runs on a thread of its own, so the window keeps painting and the progress
        // box's Cancel answers within a moment, even while a port floods or stays silent. A
        // read let go by a cancel finishes on its own, within the reply wait's bound, and the
        // window waits for it before it opens a port again.
        auto answer = std::make_shared<std::optional<Params>>();
        const int number = PortNumberOfName(names[i]);
        TrafficLog *log = &log_;
        QThread *worker =
            QThread::create([answer, number, log] { *answer = Probe(PortRef::Com(number), log); });
        QEventLoop wait;
        connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
        QTimer poll;
        connect(&poll, &QTimer::timeout, &wait, [this, &wait, &cancelled] {
            if (toolkit_.ProgressCancelled()) {
                cancelled = true;
                wait.quit();
            }
        });
        poll.start(100);
        worker->start();
        wait.exec();
        if (cancelled) {
            letGo_.push_back(worker);
            toolkit_.ShowProgress(Tx::tr("查找设备"), i, static_cast<int>(names.size()));  // closes it
            break;
        }
        worker->wait();
        delete worker;
        if (*answer)
            found << names[i];
    }
    if (!cancelled)
        cancelled = !toolkit_.ShowProgress(Tx::tr("查找完毕"), static_cast<int>(names.size()),
                                           static_cast<int>(names.size()));
    if (cancelled) {
        SetOutcome(Tx::tr("查找设备已取消，串口不变"));
        return;  // the choice stays
    }
    if (found.isEmpty()) {
        const QString text = Tx::tr("在 %1 个串口上都没有找到设备。").arg(names.size());
        toolkit_.MsgBox(text, kMsgOkOnly, QString());
        SetOutcome(text);
        return;
    }
    // Chosen as the operator's pick would choose it: Com.TXT remembers it.
    form_->PortList()->SetListIndex(static_cast<int>(names.indexOf(found.front())));
    const QString text = found.size() == 1 ? Tx::tr("在 %1 上找到设备，已选用。").arg(found.front())
                                           : Tx::tr("找到 %1 个设备：%2\n已选用 %3。")
                                                 .arg(found.size())
                                                 .arg(found.join(Tx::tr("、")), found.front());
    toolkit_.MsgBox(text, kMsgOkOnly, QString());
    SetOutcome(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

void MainWindow::About()
{
    const QString port = form_->Serial().PortLabel();
    toolkit_.MsgBox(Tx::tr("%1\n版本 %2\nQt %3\n当前串口：%4（%5）")
                        .arg(form_->windowTitle(), QStringLiteral(KV306_VERSION),
                             QString::fromLatin1(qVersion()), port, form_->Serial().DevicePath()),
                    kMsgOkOnly, Tx::tr("关于"));
}

}  // namespace kv306
