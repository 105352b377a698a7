#include "panel/port_chooser.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "link/port_ref.h"
#include "link/texts.h"

#include <QAbstractItemView>
#include <QDir>

#include <algorithm>

namespace kv306 {

namespace {

const char *const kNoPort = QT_TRANSLATE_NOOP("Tx", "在你的电脑找不到串口，先安装USB转串口后重新打开程序");
const char *const kNoPortField = QT_TRANSLATE_NOOP("Tx", "无串口");
const char *const kAllBusy = QT_TRANSLATE_NOOP(
    "Tx", "串口都被其他程序占用：%1\n请先关闭占用串口的程序（例如另一个已打开的本软件），然后重新打开程序。");
const char *const kRememberedGone =
    QT_TRANSLATE_NOOP("Tx", "找不到串口，如果之前使用USB转串口设备，请插入后重新运行程序");

}  // namespace

void PortChooser::Change()
{
    if (Changed)
        Changed();
}

bool PortChooser::Start()
{
    SetUpLine(serial_);
    if (serial_.PortOpen())
        serial_.SetPortOpen(false);

    const QString ports = ScanPorts();
    if (ports.isEmpty()) {
        list_.SetText(Tx::tr(kNoPortField));
        // Ports that are there but refused to this user, or held by another program (a second
        // window), are no reason to buy an adapter.
        const QString message = !refused_.isEmpty() ? PermissionStartupMessage(refused_)
                                : !busy_.isEmpty()  ? Tx::tr(kAllBusy).arg(busy_.join(Tx::tr("、")))
                                                    : Tx::tr(kNoPort);
        toolkit_.MsgBox(message, kMsgOkOnly, std::nullopt);
        return false;
    }

    // A missing file, or one that names no port from COM1 to COM20, remembers nothing.
    const RememberedPort file = ReadRememberedPort(PortFileToRead(toolkit_.AppPath()));
    if (!file.name) {
        list_.SetListIndex(0);  // its pick says the port changed
        if (!file.problem.isEmpty()) {
            // The file is rewritten with the port in use, never without a word.
            const QString chosen = list_.Text();
            const bool rewritten = ReadPortFile(PortFileToWrite(toolkit_.AppPath())) == chosen;
            problem_ = (rewritten ? Tx::tr("%1 无法使用（%2），已改记为 %3。")
                                  : Tx::tr("%1 无法使用（%2），现用 %3。"))
                           .arg(QDir::toNativeSeparators(file.path), file.problem, chosen);
            Change();
        }
        return true;
    }
    link_.CloseLink();
    // Com.TXT names COM1 to COM20 or a server port (ReadRememberedPort checked which).
    const Checked<PortRef> port = PortRef::Read(*file.name);
    try {
        if (!port)
            throw CommError(ErrorNo::NoSuchPort, QStringLiteral("no port %1").arg(*file.name));
        serial_.SetPort(*port);
        serial_.SetPortOpen(true);
        // A network port is no COMn the scan lists: it becomes an entry, to be picked again.
        if (port->kind() == PortRef::Kind::Server && list_.findText(*file.name) < 0)
            list_.addItem(*file.name);
        list_.SetText(*file.name);
        Change();
        return true;
    } catch (const CommError &error) {
        // A server port is no adapter that may come back under another name: it stays the port
        // in use, and why it did not answer is said; each action tries it again.
        if (port && port->Served()) {
            serial_.SetPort(*port);
            if (list_.findText(*file.name) < 0)
                list_.addItem(*file.name);
            list_.SetText(*file.name);
            problem_ = Tx::tr("记住的网络串口 %1 没有应答：%2").arg(*file.name, error.message());
            list_.setToolTip(problem_);
            Change();
            return true;
        }
        // The remembered port is gone: fall back on the first one found.
    }
    // The first port serves this run; Com.TXT keeps the remembered one, so that it is used again
    // once its adapter is back. The field shows the port the actions now use; why it is not the
    // remembered one is said in its tooltip and, through the pick's change, the status line.
    problem_ = Tx::tr(kRememberedGone);
    rememberChoice_ = false;
    list_.SetListIndex(0);
    rememberChoice_ = true;
    list_.setToolTip(problem_);
    return true;
}

bool PortChooser::TryPort(SerialControl &comm, int n)
{
    try {
        comm.SetPortOpen(false);
        comm.SetCommPort(n);
        comm.SetPortOpen(true);
        list_.addItem(PortNameOfNumber(n));
        return true;
    } catch (const CommError &error) {
        const PortExamination e = ExamineFailure(PortRef::Com(n), error);
        if (e.refusal)
            refused_ << *e.refusal;
        else if (e.state == PortExamination::State::Busy)
            busy_ << PortNameOfNumber(n);
        comm.SetPortOpen(false);
        return false;
    }
}

QString PortChooser::ScanPorts()
{
    QString ports;
    list_.clear();
    refused_.clear();
    busy_.clear();
    presence_ = PortPresence();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (TryPort(serial_, n))
            ports += QString::number(n) + QLatin1Char(',');
        toolkit_.DoEvents();
    }
    ports.chop(1);
    DescribeEntries();
    return ports;
}

void PortChooser::DescribeEntries()
{
    QList<PortRef> ports;
    for (int i = 0; i < list_.count(); ++i) {
        const Checked<PortRef> port = PortRef::Read(list_.itemText(i));
        ports << (port ? *port : PortRef::Com(PortNumberOfName(list_.itemText(i))));
    }
    const QList<PortIdentity> identities = IdentifyPorts(ports);
    int widest = list_.width();
    const QFontMetrics metrics(list_.view()->font());
    for (int i = 0; i < list_.count(); ++i) {
        const QString description = identities[i].Text();
        list_.setItemData(i, description, Qt::ToolTipRole);
        list_.setItemData(i, description, Qt::AccessibleDescriptionRole);
        widest = std::max(
            widest, metrics.horizontalAdvance(PortEntryDelegate::Line(list_.itemText(i), description)) + 24);
    }
    // The open list may reach past the field so that every description shows whole.
    list_.view()->setMinimumWidth(widest);
}

void PortChooser::FollowPlug(bool always)
{
    const QStringList presence = PortPresence();
    // A port that another program held may be free now.
    if (presence == presence_ && busy_.isEmpty() && !always)
        return;
    if (SettleProbes)
        SettleProbes();
    // Scan on a control of its own: the port in use keeps its number, and stays open if it was.
    const QString shown = list_.Text();
    const int inUse = serial_.PortOpen() ? serial_.CommPort() : 0;
    list_.clear();
    refused_.clear();
    busy_.clear();
    presence_ = presence;
    SerialControl probe;
    probe.SetSettings(serial_.Settings());
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (presence_[n - 1].isEmpty())
            continue;  // nothing there to open
        if (n == inUse)
            list_.addItem(PortNameOfNumber(n));
        else
            TryPort(probe, n);
    }
    probe.SetPortOpen(false);
    // A network port typed or remembered stays an entry.
    if (const Checked<PortRef> typed = PortRef::Read(shown);
        typed && typed->kind() == PortRef::Kind::Server && list_.findText(shown) < 0)
        list_.addItem(shown);
    DescribeEntries();
    // A chosen port that has gone stays shown: the next action reports it.
    list_.SetText(shown);
}

Checked<PortRef> PortChooser::Shown() const
{
    return PortRef::Read(list_.Text());
}

void PortChooser::OnPortChosen()
{
    // No error is number 0, which shows nothing.
    CommError error(0, QString());
    try {
        link_.CloseLink();
        const QString text = list_.Text();
        if (!text.isEmpty()) {
            const Checked<PortRef> port = Shown();
            if (!port)
                throw CommError(ErrorNo::NoSuchPort, QStringLiteral("no port %1").arg(text), port.reason);
            serial_.SetPort(*port);
        } else {
            if (list_.count() == 0)
                throw CommError(ErrorNo::InvalidValue, QStringLiteral("the port list is empty"));
            list_.SetListIndex(0);
        }
        if (rememberChoice_)
            WritePortFile(PortFileToWrite(toolkit_.AppPath()), list_.Text());
    } catch (const CommError &e) {
        error = e;
    }
    ReportCommError(toolkit_, error);
    if (error.number() == 0 && rememberChoice_ && !problem_.isEmpty()) {
        problem_.clear();  // a port the operator chose
        list_.setToolTip(QString());
    }
    Change();
}

}  // namespace kv306
