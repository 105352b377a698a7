// The window's status line and its other quiet helpers: what each action did, a check after a
// save, the read at start-up, help that never fails silently.
#include "support/main_window.h"
#include "support/program_on_path.h"

#include <QApplication>
#include <QTimer>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");

}  // namespace

class TestStatusLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

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
        // The box stays open a while: the time shown is the exchange's, not the box's closing;
        // behind the box the status line already says what happened.
        QString behindTheBox;
        m.toolkit.onBox = [&](const Box &) {
            behindTheBox = m.window.StatusText().section(QStringLiteral(" | "), 0, 0);
            QThread::msleep(1100);
        };
        f.ReadButton()->click();
        m.toolkit.onSleep = nullptr;
        m.toolkit.onBox = nullptr;
        QCOMPARE(duringExchange, QStringLiteral("读出中…"));
        QVERIFY2(behindTheBox.endsWith(QStringLiteral(" 读出成功")), qPrintable(behindTheBox));
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

QTEST_MAIN(TestStatusLine)
#include "tst_status_line.moc"
