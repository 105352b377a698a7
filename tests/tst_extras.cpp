// The window's extras, each off until the operator reaches for it: profiles in files, check
// after write, the traffic log, finding the unit, and help that never fails silently.
#include "support/program_on_path.h"
#include "support/rig.h"

#include "panel/main_window.h"
#include "protocol/params_text.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

namespace {

// The program's window with its menus, on a recording toolkit, after start-up.
struct Main {
    explicit Main(bool load = true)
    {
        toolkit.appPath = appDir.path();
        toolkit.realSleep = false;
        toolkit.comm = &window.Form().Serial();
        if (load && !window.Form().Load())
            qFatal("start-up failed");
        toolkit.Clear();
    }
    QStringList Lists()
    {
        QStringList texts;
        for (DropList *list : window.Form().ParamLists())
            texts << list->currentText();
        return texts;
    }
    QByteArray PortFile() const
    {
        QFile f(appDir.filePath(QStringLiteral("Com.TXT")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    QTemporaryDir appDir;
    RecordingToolkit toolkit;
    MainWindow window{toolkit};
};

const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");

}  // namespace

class TestExtras : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

    void exportThenImportSendsNothing()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        Form1 &f = m.window.Form();
        f.HoldPreset(true);
        for (auto [k, v] : {std::pair{0, 40}, {1, 2}, {2, 51}, {3, 1}, {4, 0}, {5, 1}})
            f.SelectListIndex(k, v);
        f.HoldPreset(false);
        const QStringList exported = m.Lists();
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("line 3"));
        m.window.ExportParams();
        const QString file = m.toolkit.fileAnswer + QStringLiteral(".json");
        QCOMPARE(ReadProfile(file).reason, QString());

        f.SelectListIndex(3, 0);  // the preset moves four lists
        m.toolkit.fileAnswer = file;
        m.window.ImportParams();
        QCOMPARE(m.Lists(), exported);  // NTSC read back without its preset
        QVERIFY(m.toolkit.boxes.empty());

        // A bad file: the reason in a box, the lists as they were.
        QFile bad(m.appDir.filePath(QStringLiteral("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(ProfileJson({1, 2, 3, 0, 0, 0})).replace("\"size\": 3", "\"size\": 99"));
        bad.close();
        m.toolkit.fileAnswer = bad.fileName();
        m.window.ImportParams();
        QCOMPARE(m.toolkit.boxes.size(), 1u);
        // Named as the window names the list, with the file's key.
        QCOMPARE(m.toolkit.boxes[0].text.section('\n', 1),
                 QStringLiteral("圆大小调整（\"size\"） 超出范围（0-51）"));
        QCOMPARE(m.Lists(), exported);
        QVERIFY(unit.Received().empty());
    }

    // The ending is added before anyone asks about replacing a file, never after.
    void exportNeverReplacesUnasked()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        QFile old(m.appDir.filePath(QStringLiteral("p.json")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("p"));
        m.window.ExportParams();
        QCOMPARE(m.toolkit.events.last(), "question " + old.fileName() + " 已存在。\n要替换它吗？");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("kept"));  // answered No
    }

    // A settings file that is a pipe would wait for a writer for ever.
    void settingsFileThatIsAPipe()
    {
        QTemporaryDir config;
        QVERIFY(QDir(config.path()).mkpath(QStringLiteral("kv306")));
        QVERIFY(::mkfifo(QFile::encodeName(config.filePath(QStringLiteral("kv306/kv306.conf"))).constData(),
                         0600) == 0);
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        SimPorts ports;
        ports.Add(3);
        {
            Main m;
            QVERIFY(!m.window.verifyAction->isChecked());  // the defaults
            m.window.verifyAction->trigger();              // kept nowhere, and no wait either
        }
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }

    void checkAfterWrite()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        m.window.verifyAction->trigger();
        QVERIFY(m.window.Form().Actions().VerifyAfterSave);
        m.window.Form().Actions().SaveClick();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{"OK！\n校验一致：设备保存的六个参数与写入的相同。"});
        QCOMPARE(RequestFrames(unit), (QStringList{"55 EE 00 00 FF 16 14 19 00 03 00 18", kRead}));
        QVERIFY(!m.toolkit.boxes[0].portOpen);

        unit.SetFault(sim::Fault::MisStore);
        m.toolkit.Clear();
        m.window.Form().Actions().SaveClick();
        QCOMPARE(m.toolkit.BoxTexts(),
                 QStringList{"校验不一致：设备保存的参数与写入的不同。\n圆大小：写入 25，设备为 24"});
        QCOMPARE(m.toolkit.boxes[0].code, kMsgExclamation);

        // Acknowledged, but the read-back never came: written, not confirmed, and never an "OK！".
        unit.SetFault(sim::Fault::None);
        unit.SetReplyOverride([](const sim::Bytes &request) {
            return request.size() == 12 ? std::optional<sim::Bytes>(sim::Bytes{0x99}) : std::nullopt;
        });
        m.toolkit.Clear();
        m.window.Form().Actions().SaveClick();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{"已写入，校验失败：通信错误！1"});
        QCOMPARE(m.toolkit.boxes[0].code, kMsgExclamation);
        QVERIFY2(m.window.StatusText().contains(" 已写入，校验失败：通信错误！1 |"),
                 qPrintable(m.window.StatusText()));
        unit.SetReplyOverride(nullptr);

        // The check mark is the user's setting: the next start has it too.
        Main again(false);
        QVERIFY(again.window.verifyAction->isChecked());
        m.window.verifyAction->trigger();
    }

    void logRecordsEveryExchange()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        UnitActions &a = m.window.Form().Actions();
        a.ReadClick();
        a.SaveClick();
        unit.SetFault(sim::Fault::UnequalEcho);
        a.ToggleClick(1);
        unit.SetFault(sim::Fault::Silent);
        a.ToggleClick(0);
        unit.SetFault(sim::Fault::CorruptCheck);
        a.ReadClick();
        unit.SetFault(sim::Fault::Partial);
        a.ReadClick();
        ports.Remove(3);
        a.ToggleClick(0);
        QStringList seen;
        for (const LogEntry &e : m.window.Log().Entries())
            seen << e.port + " | " + e.sent + " | " + e.sentMeaning + " | " + e.reply + " | " +
                        e.replyMeaning;
        QCOMPARE(
            seen,
            (QStringList{
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 18 | 六个参数 22 20 25 PAL 3 "
                "保留",
                "COM3 | 55 EE 00 00 FF 16 14 19 00 03 00 18 | 保存参数 22 20 25 PAL 3 保留 | 99 | 已保存",
                "COM3 | 55 D0 A5 02 FF 01 89 | 十字线开关 | 00 01 | 回显不等",
                "COM3 | 55 D0 A4 02 FF 01 88 | 叠加开关 |  | 无应答",
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 19 | 校验错误",
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 | 收到 6 个字节，应为 7 个",
                "COM3 |  |  |  | 错误 8002 该串口不存在！",
            }));
        QVERIFY(m.window.Log().Entries()[0].ms >= 0);

        // Opened later, the log window shows what came before, and saves it as text.
        LogWindow &w = m.window.ShowLog();
        QCOMPARE(w.Model().rowCount(), 7);
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("log.txt"));
        w.SaveAs();
        QFile saved(m.toolkit.fileAnswer);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.size(), 9);  // header, seven, and the last line's end
        QVERIFY(lines[2].contains("\t保存参数 22 20 25 PAL 3 保留\t99\t已保存\t"));
        // ISO 8601 times: the date, a T, milliseconds.
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t"))
                     .match(QString::fromUtf8(lines[1]))
                     .hasMatch(),
                 lines[1].constData());
    }

    // The status line: the last outcome with its time, then the port and its device; the log
    // decodes what each reply says.
    void statusLineAndReplyMeanings()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        UnitActions &a = m.window.Form().Actions();
        const QRegularExpression port(QStringLiteral(" \\| COM3  /dev/pts/\\d+$"));
        QVERIFY2(port.match(m.window.StatusText()).hasMatch(), qPrintable(m.window.StatusText()));
        a.ReadClick();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d 读出成功 \\|"))
                     .match(m.window.StatusText())
                     .hasMatch(),
                 qPrintable(m.window.StatusText()));
        a.ToggleClick(0);
        QVERIFY(m.window.StatusText().contains(QStringLiteral(" 叠加开关：设备已应答 |")));
        QVERIFY(m.window.Log().Entries().back().replyMeaning.startsWith(QStringLiteral("已应答 ")));
        QTimer::singleShot(0, [&a] { a.NudgeRelease(); });
        a.NudgePress(NudgePair::Horizontal, 0);
        QVERIFY(m.window.StatusText().contains(QStringLiteral(" 水平偏移 = 23 |")));
        QCOMPARE(m.window.Log().Entries().back().replyMeaning, QStringLiteral("水平偏移 = 23"));
        ports.Remove(3);
        a.ReadClick();
        QVERIFY(m.window.StatusText().contains(QStringLiteral(" 读出失败：错误 8002 该串口不存在！ |")));

        // A remembered port that is gone: the reason stays in view.
        ports.AddDangling(7);
        Main again(false);
        QFile com(again.appDir.filePath(QStringLiteral("Com.TXT")));
        QVERIFY(com.open(QIODevice::WriteOnly));
        com.write("\"COM7\"\r\n");
        com.close();
        ports.Add(2);
        QVERIFY(again.window.Form().Load());
        QVERIFY(
            again.window.StatusText().startsWith(QStringLiteral("找不到串口，如果之前使用USB转串口设备")));
        QVERIFY(again.window.StatusText().contains(QStringLiteral(" | COM2  ")));
    }

    // What the status line tells besides the buttons' outcomes, and when.
    void statusLineTellsWhatHappened()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        Form1 &f = m.window.Form();
        // Busy while the exchange is under way (the pause after opening the port).
        QString duringExchange;
        bool waitCursor = false;
        m.toolkit.onSleep = [&](int) {
            if (duringExchange.isEmpty())
                duringExchange = m.window.StatusText().section(QStringLiteral(" | "), 0, 0);
            waitCursor = waitCursor || (QApplication::overrideCursor() &&
                                        QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        };
        // The box stays open a while: the time shown is the exchange's, not the box's closing.
        m.toolkit.onBox = [](const Box &) { QThread::msleep(1100); };
        f.ReadButton()->click();
        m.toolkit.onSleep = nullptr;
        m.toolkit.onBox = nullptr;
        QCOMPARE(duringExchange, QStringLiteral("读出中…"));
        QVERIFY(waitCursor);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(m.window.StatusText().left(8),
                 m.window.Log().Entries().back().when.toString(QStringLiteral("HH:mm:ss")));

        // A preset moves four lists at one pick.
        f.ParamLists()[3]->SetListIndex(1);
        QVERIFY2(m.window.StatusText().contains(" 已按 NTSC 预设 水平 17 垂直 16 圆 25 圆度 1 |"),
                 qPrintable(m.window.StatusText()));

        // Export, then import: said, and not yet sent.
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("p.json"));
        m.window.ExportParams();
        QVERIFY2(
            m.window.StatusText().contains(" 已导出 17 16 25 NTSC 1 保留 到 " + m.toolkit.fileAnswer + " |"),
            qPrintable(m.window.StatusText()));
        m.window.ImportParams();
        QVERIFY2(m.window.StatusText().contains(
                     " 已导入 p.json：17 16 25 NTSC 1 保留，尚未写入设备（按“保存”写入） |"),
                 qPrintable(m.window.StatusText()));

        // The simulator started again on another terminal: the device shown follows.
        ports.Remove(3);
        const QString tty = QString::fromStdString(ports.Add(3).TerminalPath());
        f.ToggleButtons()[0]->click();
        QVERIFY2(m.window.StatusText().endsWith("COM3  " + tty), qPrintable(m.window.StatusText()));

        // An echo whose two bytes came far apart is taken, but doubted.
        sim::SimOptions trickle = SimPorts::Instant();
        trickle.fault = sim::Fault::Trickle;
        trickle.trickleGapMs = 300;
        ports.Remove(3);
        ports.Add(3, trickle);
        m.toolkit.Clear();
        f.ToggleButtons()[0]->click();
        QVERIFY(m.toolkit.boxes.empty());
        QVERIFY2(
            QRegularExpression(
                " 叠加开关：设备已应答（可疑：两个应答字节相隔 [0-9]{3} ms，可能是线路噪声而不是设备） \\|")
                .match(m.window.StatusText())
                .hasMatch(),
            qPrintable(m.window.StatusText()));
    }

    // A file chosen to write never replaces a pipe, a device or a link, and a name that is there
    // is not made another one.
    void savingNeverReplacesWhatIsThere()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        const QString fifo = m.appDir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString target = m.appDir.filePath(QStringLiteral("real.json"));
        const QString link = m.appDir.filePath(QStringLiteral("link.json"));
        QFile(target).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(target, link));
        for (const QString &chosen : {fifo, QStringLiteral("/dev/full"), link}) {
            m.toolkit.fileAnswer = chosen;
            m.window.ExportParams();
        }
        QCOMPARE(m.toolkit.BoxTexts(),
                 (QStringList{"无法导出参数文件 " + fifo + "：\n" + fifo + " 是命名管道",
                              "无法导出参数文件 /dev/full：\n/dev/full 是设备文件"}));
        m.toolkit.Clear();
        m.toolkit.fileAnswer = fifo;
        m.window.ShowLog().SaveAs();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{"无法保存 " + fifo + "：" + fifo + " 是命名管道"});
        QVERIFY(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/dev/full.json")));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadProfile(target).reason, QString());  // written through the link
    }

    // A port another program held at start-up is listed once it is free.
    void portFreedAfterStartUpIsListed()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(3);
        auto other = std::make_unique<SerialControl>();
        other->SetCommPort(3);
        other->SetPortOpen(true);
        Main m;
        QCOMPARE(m.window.Form().PortList()->count(), 1);
        other.reset();
        m.window.Form().FollowPlug();
        QCOMPARE(m.window.Form().PortList()->itemText(1), QStringLiteral("COM3"));
    }

    // Ticked, start-up reads the unit once and writes nothing; unticked, it sends nothing.
    void readAtStart()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        unit.ClearLog();
        m.window.ReadAtStart();
        QCOMPARE(Hex(unit.Received()), QByteArray());
        m.window.readAtStartAction->setChecked(true);
        m.window.Form().ShowParams({1, 2, 3, 1, 0, 1});
        m.window.ReadAtStart();
        QCOMPARE(Hex(unit.Received()), QByteArray("55 D0 A3 00 FF 01 8D"));
        QCOMPARE(m.window.Form().Lists(), (Params{22, 20, 25, 0, 3, 0}));
        QVERIFY(m.toolkit.boxes.empty());
        Main again;
        QVERIFY(again.window.readAtStartAction->isChecked());
        again.window.readAtStartAction->setChecked(false);
    }

    // 生产模式: a unit that passes, then, plugged in its place, one that mis-stores: each has its
    // verdict, its reason in the window's words and its row; the window rests while it runs.
    void productionModeUnitAfterUnit()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("line 3"));
        ProductionDialog *d = m.window.ShowProduction();
        QVERIFY(d);
        d->ChooseReport();
        d->Start();
        QVERIFY(!m.window.Form().isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("合格"), 5000);
        ports.Remove(3);
        // The verdict and its reason stay in view while the operator changes the unit.
        QTRY_VERIFY_WITH_TIMEOUT(!d->State()->text().isEmpty(), 5000);
        QCOMPARE(d->Verdict()->text(), QStringLiteral("合格"));
        QCOMPARE(d->Reason()->text(), QStringLiteral("第 1 台合格，请取下设备"));
        sim::SimOptions misStoring = SimPorts::Instant();
        misStoring.fault = sim::Fault::MisStore;
        ports.Add(3, misStoring);
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("不合格"), 5000);
        const Params wanted = m.window.Form().Lists();
        QCOMPARE(d->Reason()->text(), QStringLiteral("已写入，校验不符：%1为 %2，应为 %3")
                                          .arg(m.window.Form().ListCaption(2))
                                          .arg(wanted[2] - 1)
                                          .arg(wanted[2]));
        QCOMPARE(d->Count()->text(), QStringLiteral("已检 2 台：合格 1，不合格 1"));
        QCOMPARE(d->Rows()->rowCount(), 2);
        // A unit pulled after it acknowledged the write was written, as kv306ctl says.
        StationRow pulled;
        pulled.kind = StationRow::Kind::Error;
        pulled.detail.failure = Failure::Port;
        pulled.detail.errorNumber = 8002;
        pulled.detail.acknowledged = true;
        QCOMPARE(d->ReasonWords(pulled), QStringLiteral("已写入，校验失败：错误 8002 该串口不存在！"));
        d->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!d->Running(), 5000);
        QVERIFY(m.window.Form().isEnabled());
        QFile report(m.toolkit.fileAnswer + QStringLiteral(".csv"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(report.readAll().count('\n'), 3);  // the header and two rows
        QVERIFY(m.toolkit.boxes.empty());
    }

    void logKeepsTheLast5000()
    {
        TrafficLog log;
        Outcome o;
        Traffic t;
        t.sent = {0x55};
        t.expected = 1;
        o.traffic.push_back(t);
        TrafficModel model(log);
        for (int i = 0; i < 5003; ++i) {
            o.traffic[0].sent[0] = static_cast<std::uint8_t>(i);
            log.Record(QStringLiteral("COM%1").arg(i), o);
            if (i == 10 || i == 5002)
                model.Refresh();
        }
        QCOMPARE(log.Size(), 5000u);
        QCOMPARE(log.Entries().front().port, QStringLiteral("COM3"));
        QCOMPARE(model.rowCount(), 5000);
        QCOMPARE(model.data(model.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("COM3"));
        log.Clear();
        model.Refresh();
        QCOMPARE(model.rowCount(), 0);
    }

    void findTheUnit_data()
    {
        QTest::addColumn<QList<int>>("answering");
        QTest::addColumn<QString>("chosen");  // empty: the choice stays
        QTest::addColumn<QString>("said");
        QTest::newRow("one") << QList<int>{5} << "COM5"
                             << "在 COM5 上找到设备，已选用。";
        QTest::newRow("two") << QList<int>{5, 7} << "COM5"
                             << "找到 2 个设备：COM5、COM7\n已选用 COM5。";
        QTest::newRow("none") << QList<int>{} << ""
                              << "在 3 个串口上都没有找到设备。";
    }
    void findTheUnit()
    {
        QFETCH(QList<int>, answering);
        QFETCH(QString, chosen);
        QFETCH(QString, said);
        SimPorts ports;
        for (int com : {2, 5, 7})
            ports.Add(com).SetFault(answering.contains(com) ? sim::Fault::None : sim::Fault::Silent);
        Main m;
        m.window.Form().Actions().VerifyAfterSave = false;
        m.window.FindUnit();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{said});
        QCOMPARE(m.toolkit.progress.first(), QStringLiteral("正在查找设备：COM2（1/3） 0/3"));
        QCOMPARE(m.window.Form().Serial().CommPort(), chosen.isEmpty() ? 2 : chosen.mid(3).toInt());
        QCOMPARE(m.PortFile(),
                 QByteArray("\"" + (chosen.isEmpty() ? QByteArray("COM2") : chosen.toLatin1()) + "\"\r\n"));
        for (int com : {2, 5, 7})
            QCOMPARE(RequestFrames(ports.Unit(com)), QStringList{kRead});  // reads only
    }

    void findingCancelledKeepsTheChoice()
    {
        SimPorts ports;
        ports.Add(2).SetFault(sim::Fault::Silent);
        sim::SimUnit &unit = ports.Add(5);
        Main m;
        m.toolkit.cancelAtProgress = 1;  // while trying the first port
        m.window.FindUnit();
        QVERIFY(m.toolkit.boxes.empty());
        QCOMPARE(m.window.Form().Serial().CommPort(), 2);
        QVERIFY(unit.Received().empty());
    }

    // A port that floods holds its probe for the whole reply wait; Cancel does not wait for it.
    void cancelAnswersDuringAFlood()
    {
        SimPorts ports;
        ports.Add(2).SetFault(sim::Fault::Flood);
        Main m;
        QTimer::singleShot(300, [&m] { m.toolkit.cancelNow = true; });
        QElapsedTimer timer;
        timer.start();
        m.window.FindUnit();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(m.toolkit.boxes.empty());
        QVERIFY(m.window.StatusText().contains(" 查找设备已取消，串口不变 |"));
        // The probe let go still reads the port; the window's own next action waits for it
        // instead of finding its port "in use".
        m.window.Form().ToggleButtons()[0]->click();
        QCOMPARE(m.toolkit.BoxHeads(), QStringList{QStringLiteral("通信错误！")});
    }

    void helpShownByTheToolWhenTheOpenerFails()
    {
        const ProgramOnPath opener(QStringLiteral("xdg-open"), "#!/bin/sh\nexit 3\n");
        Main m(false);
        QFile help(m.appDir.filePath(QStringLiteral("help.txt")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();
        m.toolkit.openerFails = true;
        m.window.helpAction->trigger();
        QCOMPARE(m.toolkit.shownFiles, QStringList{help.fileName()});
        QVERIFY(m.toolkit.boxes.empty());
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestExtras)
#include "tst_extras.moc"
