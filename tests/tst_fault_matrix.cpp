// The fault matrix: a bad unit, a pulled cable, a busy port and odd port files, each against the
// real window, one named row a scenario.
#include "link/port_file.h"
#include "support/rig.h"
#include "support/unprivileged.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

namespace {

#define QVERIFY_RETURN(condition)                                                                            \
    if (!(condition))                                                                                        \
        return QStringLiteral("not so: " #condition);

struct Scenario {
    const char *name;
    QString expected;
    std::function<QString()> run;
};

QString Said(const RecordingToolkit &toolkit)
{
    const QStringList texts = toolkit.BoxTexts();
    return texts.isEmpty() ? QStringLiteral("no message") : texts.join(QStringLiteral(" / "));
}

// The program still runs: with the unit healthy again, the next click goes through.
QString NextClick(Rig &r)
{
    r.unit.SetFault(sim::Fault::None);
    r.unit.SetReplyOverride(nullptr);
    r.w.toolkit.Clear();
    r.w.form.Actions().ToggleClick(0);
    return r.w.toolkit.boxes.empty() && !r.w.form.SentFrameField()->text().isEmpty()
               ? QStringLiteral("; next click ok")
               : QStringLiteral("; next click: ") + Said(r.w.toolkit);
}

// What the boxes said, the simulated ports' folder named PORTS.
QString Said(const Rig &r)
{
    return Said(r.w.toolkit).replace(r.ports.Path(), QStringLiteral("PORTS"));
}

QString WithFault(sim::Fault fault, const std::function<void(Rig &)> &act)
{
    Rig r;
    r.unit.SetFault(fault);
    act(r);
    const QString said = Said(r);
    return said + NextClick(r);
}

void Read(Rig &r)
{
    r.w.form.Actions().ReadClick();
}
void Save(Rig &r)
{
    r.w.form.Actions().SaveClick();
}
void Toggle(Rig &r)
{
    r.w.form.Actions().ToggleClick(1);
}
void Nudge(Rig &r)
{
    QWidget *button = r.w.form.VerticalButtons()[1];
    QTimer::singleShot(200, button, [button] { QTest::mouseRelease(button, Qt::LeftButton); });
    QTest::mousePress(button, Qt::LeftButton);
}

// Start-up with port 2 and a Com.TXT prepared by `prepare`; reports the messages and the file.
QString StartWith(const std::function<void(Window &)> &prepare)
{
    SimPorts ports;
    ports.Add(2);
    Window w;
    w.toolkit.realSleep = false;
    prepare(w);
    if (!w.form.Load())
        return QStringLiteral("the program ended");
    const QFileInfo file(w.PortFilePath());
    // The program's folder is a new temporary one each run: named DIR in what was said.
    const QString why =
        w.form.PortProblem().isEmpty() ? QString() : QStringLiteral("; why ") + w.form.PortProblem();
    QString said =
        Said(w.toolkit) + QStringLiteral("; Com.TXT ") +
        (file.isDir() ? QStringLiteral("untouched directory") : QString::fromLatin1(w.PortFile().trimmed())) +
        why;
    return said.replace(w.appDir.path(), QStringLiteral("DIR"));
}

const QString kCommError = QStringLiteral("通信错误！");
const QString kNoReply = QStringLiteral("通信错误！1");
const QString kOk = QStringLiteral("; next click ok");

// Every scenario: its name, what the operator is to be told, and how it is played.
const std::vector<Scenario> &Scenarios()
{
    static const std::vector<Scenario> scenarios{
        {"pulled adapter before open",
         QStringLiteral(
             "该串口不存在！\nCOM3（PORTS/COM3） 不存在：请检查 USB 转串口转接器是否插好，或在“选择串口”中换"
             "一个串口。") +
             kOk,
         [] {
             Rig r;
             r.ports.Remove(3);
             r.w.form.Actions().ToggleClick(0);
             const QString said = Said(r);
             r.ports.Add(3);  // plugged in again
             r.w.toolkit.Clear();
             r.w.form.Actions().ToggleClick(0);
             return said + (r.w.toolkit.boxes.empty() ? kOk : QStringLiteral("; next click failed"));
         }},
        {"port held by another program",
         QStringLiteral(
             "串口已被占用\nCOM3（PORTS/COM3） 正被 flock（进程 PID） 占用：请关闭它，或换一个串口。") +
             kOk,
         [] {
             Rig r;
             // Another program holds the port's terminal, locked, as a serial program does.
             QProcess other;
             other.start(QStringLiteral("flock"), {QStringLiteral("--close"), r.ports.LinkPath(3),
                                                   QStringLiteral("sleep"), QStringLiteral("30")});
             QVERIFY_RETURN(other.waitForStarted());
             QTest::qWait(200);
             r.w.form.Actions().ToggleClick(0);
             const QString said = Said(r).replace(QString::number(other.processId()), QStringLiteral("PID"));
             other.kill();
             other.waitForFinished();
             return said + NextClick(r);
         }},
        {"remembered port vanished since last run",
         QStringLiteral("no message; Com.TXT \"COM7\"; field COM2; why "
                        "找不到串口，如果之前使用USB转串口设备，请插入后重新运行程序"),
         [] {
             SimPorts ports;
             ports.Add(2);
             ports.AddDangling(7);
             Window w;
             w.toolkit.realSleep = false;
             w.WritePortFile("\"COM7\"\r\n");
             w.form.Load();
             return Said(w.toolkit) + QStringLiteral("; Com.TXT ") +
                    QString::fromLatin1(w.PortFile().trimmed()) + QStringLiteral("; field ") +
                    w.form.PortList()->currentText() + QStringLiteral("; why ") +
                    w.form.PortList()->toolTip();
         }},
        {"no reply to a toggle", kCommError + kOk, [] { return WithFault(sim::Fault::Silent, Toggle); }},
        {"no reply to a save", kCommError + kOk, [] { return WithFault(sim::Fault::Silent, Save); }},
        {"no reply to a read", kNoReply + kOk, [] { return WithFault(sim::Fault::Silent, Read); }},
        {"no reply to a step", kCommError + kOk, [] { return WithFault(sim::Fault::Silent, Nudge); }},
        // What came is said below the message: a partial reply, one too long, a flood.
        {"partial reply", kNoReply + QStringLiteral("\n收到 6 个字节，应为 7 个。") + kOk,
         [] { return WithFault(sim::Fault::Partial, Read); }},
        {"extra bytes", kCommError + QStringLiteral("\n收到 3 个字节，应为 2 个。") + kOk,
         [] { return WithFault(sim::Fault::Extra, Toggle); }},
        {"trickling bytes", QStringLiteral("读出成功！") + kOk,
         [] { return WithFault(sim::Fault::Trickle, Read); }},
        {"babbling line", kNoReply + QStringLiteral("\n收到 N 个字节，应为 7 个。 within 4 s") + kOk,
         [] {
             QElapsedTimer t;
             t.start();
             Rig r;
             r.unit.SetFault(sim::Fault::Babble);
             Read(r);
             const QString said = Said(r).replace(QRegularExpression(QStringLiteral("收到 [0-9]{3,} ")),
                                                  QStringLiteral("收到 N ")) +
                                  (t.elapsed() < 4000 ? QStringLiteral(" within 4 s") : QString());
             r.ports.Remove(3);  // a babbling unit is switched off and on again
             Rig fresh;
             return said + NextClick(fresh);
         }},
        {"corrupted check byte", kCommError + kOk, [] { return WithFault(sim::Fault::CorruptCheck, Read); }},
        {"acknowledged with 0x98", kCommError + kOk, [] { return WithFault(sim::Fault::BadAck, Save); }},
        {"unequal echo to a toggle", kCommError + kOk,
         [] { return WithFault(sim::Fault::UnequalEcho, Toggle); }},
        {"unequal echo to a step", kCommError + kOk,
         [] { return WithFault(sim::Fault::UnequalEcho, Nudge); }},
        {"out-of-range echo", kCommError + kOk, [] { return WithFault(sim::Fault::OutOfRange, Nudge); }},
        {"out-of-range read", kCommError + kOk, [] { return WithFault(sim::Fault::OutOfRange, Read); }},
        {"Com.TXT empty",
         QStringLiteral(
             "no message; Com.TXT \"COM2\"; why DIR/Com.TXT 无法使用（文件是空的），已改记为 COM2。"),
         [] { return StartWith([](Window &w) { w.WritePortFile(QByteArray()); }); }},
        {"Com.TXT garbage",
         QStringLiteral(
             "no message; Com.TXT \"COM2\"; why DIR/Com.TXT 无法使用（“port seven”不是串口名（应为 COM1 "
             "到 COM20）），已改记为 COM2。"),
         [] { return StartWith([](Window &w) { w.WritePortFile("port seven, please\r\n"); }); }},
        {"Com.TXT 1 MiB of binary",
         QStringLiteral(
             "no message; Com.TXT \"COM2\"; why DIR/Com.TXT 无法使用（它的内容不是文本），已改记为 COM2。"),
         [] {
             QByteArray binary(1 << 20, '\0');
             for (int i = 0; i < binary.size(); ++i)
                 binary[i] = static_cast<char>((static_cast<unsigned>(i) * 2654435761u) >> 24);
             return StartWith([&binary](Window &w) { w.WritePortFile(binary); });
         }},
        {"Com.TXT a directory",
         QStringLiteral("无法记住所选串口：DIR/Com.TXT 是一个文件夹，不是文件。; Com.TXT untouched "
                        "directory; why DIR/Com.TXT "
                        "无法使用（它是一个文件夹，不是文件），现用 COM2。"),
         [] { return StartWith([](Window &w) { QDir(w.appDir.path()).mkdir(QStringLiteral("Com.TXT")); }); }},
        {"Com.TXT a socket",
         QStringLiteral(
             "no message; Com.TXT \"COM2\"; why DIR/Com.TXT 无法使用（它不是普通文件），已改记为 COM2。"),
         [] {
             QLocalServer socket;
             return StartWith([&socket](Window &w) { socket.listen(w.PortFilePath()); });
         }},
        {"Com.TXT a named pipe",
         QStringLiteral(
             "no message; Com.TXT \"COM2\"; why DIR/Com.TXT 无法使用（它不是普通文件），已改记为 COM2。"),
         [] {
             return StartWith([](Window &w) { ::mkfifo(w.PortFilePath().toLocal8Bit().constData(), 0600); });
         }},
        {"Com.TXT in a read-only directory",
         QStringLiteral("无法记住所选串口：无法建立文件夹 CONFIG（Permission denied）。; Com.TXT \"COM2\""),
         [] {
             SimPorts ports;
             ports.Add(2);
             ports.Add(5);
             Window w;
             w.toolkit.realSleep = false;
             w.form.Load();
             QFile::setPermissions(w.appDir.path(),
                                   QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
             {
                 Unprivileged user;
                 w.form.PortList()->SetListIndex(1);
             }
             QFile::setPermissions(w.appDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
             return Said(w.toolkit).replace(UserConfigDir(), QStringLiteral("CONFIG")) +
                    QStringLiteral("; Com.TXT ") + QString::fromLatin1(w.PortFile().trimmed());
         }},
    };

    return scenarios;
}

}  // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT
private slots:
    void matrix_data()
    {
        QTest::addColumn<int>("scenario");
        for (std::size_t i = 0; i < Scenarios().size(); ++i)
            QTest::newRow(Scenarios()[i].name) << static_cast<int>(i);
    }
    void matrix()
    {
        QFETCH(int, scenario);
        const Scenario &s = Scenarios()[static_cast<std::size_t>(scenario)];
        QCOMPARE(s.run(), s.expected);
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "tst_fault_matrix.moc"
