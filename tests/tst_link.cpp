// The serial link against a simulated unit: open and close, counted replies, silence limits,
// serial errors and their messages.
#include "link/comm_error.h"
#include "link/serial_link.h"
#include "panel/toolkit.h"
#include "protocol/frames.h"
#include "protocol/outcome_text.h"
#include "protocol/unit_core.h"
#include "support/recording_toolkit.h"
#include "support/sim_ports.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace kv306;
using namespace kv306::test;

namespace {

// A link on COM3 with a simulated unit behind it.
struct Bench {
    explicit Bench(sim::SimOptions options = SimPorts::Instant()) : unit(ports.Add(3, options))
    {
        toolkit.comm = &comm;
        toolkit.realSleep = false;
        comm.SetSettings(QStringLiteral("9600,n,8,1"));
        comm.SetCommPort(3);
    }
    // Opens the link as the window does: a failure shown in its box.
    void Open()
    {
        if (const std::optional<CommError> error = link.OpenLink())
            ReportCommError(toolkit, *error);
    }
    // Sends ReadParams (a 7-byte answer) and waits for `count` bytes.
    QString Ask(qint16 count, qint32 timeoutMs, Op op = Op::ReadParams, int arg = 0)
    {
        Open();
        comm.Output(CommandFrame(op, arg));
        return link.ReadReplyHex(count, timeoutMs);
    }
    SimPorts ports;
    sim::SimUnit &unit;
    SerialControl comm;
    RecordingToolkit toolkit;
    SerialLink link{comm, toolkit};
};

}  // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    void errorTexts_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << "发送字符";
        QTest::newRow("7") << 7 << "EOF";
        QTest::newRow("1006") << 1006 << "端口溢出";
        QTest::newRow("1008") << 1008 << "接收缓冲区溢出";
        QTest::newRow("8000") << 8000 << "Operation not valid while the port is opened";
        QTest::newRow("8001") << 8001 << "Timeout value must be greater than zero";
        QTest::newRow("8002") << 8002 << "该串口不存在！";
        QTest::newRow("8005") << 8005 << "串口已被占用";
        QTest::newRow("8007") << 8007 << "The Device 's baud rate is unsupported";
        QTest::newRow("8010") << 8010 << "The hardware is not available (locked by another device)";
        QTest::newRow("8012") << 8012 << "串口还没打开！";
        QTest::newRow("8016") << 8016 << "Could not set comm event mask";
        QTest::newRow("8017 has no row") << 8017 << "8017";
        QTest::newRow("8018") << 8018 << "串口尚未打开!";
        QTest::newRow("8019") << 8019 << "Device busy";
        QTest::newRow("8020") << 8020 << "Error reading comm device";
        QTest::newRow("13") << 13 << "13";
        QTest::newRow("75") << 75 << "75";
    }
    void errorTexts()
    {
        QFETCH(int, number);
        QFETCH(QString, text);
        RecordingToolkit toolkit;
        ReportCommError(toolkit, number);
        QCOMPARE(toolkit.boxes.size(), 1u);
        QCOMPARE(toolkit.boxes[0].text, text);
        QCOMPARE(toolkit.boxes[0].code, 16);
        QCOMPARE(toolkit.boxes[0].title.value_or(QStringLiteral("<application>")), QStringLiteral("错误"));
    }

    void errorZeroShowsNothing()
    {
        RecordingToolkit toolkit;
        ReportCommError(toolkit, 0);
        QVERIFY(toolkit.boxes.empty());
    }

    void exactCountGivesHexText()
    {
        Bench b;
        b.unit.SetReplyOverride([](const sim::Bytes &) { return sim::Bytes{0x00, 0x0A, 0x0F, 0x10, 0xFF}; });
        b.comm.SetRThreshold(1);
        QCOMPARE(b.Ask(5, 1000), QStringLiteral("000A0F10FF"));
        QCOMPARE(b.link.ReplyBuffer, (Bytes{0x00, 0x0A, 0x0F, 0x10, 0xFF}));
        QCOMPARE(b.comm.RThreshold(), 0);
        QCOMPARE(b.comm.InBufferCount(), 0);
        QVERIFY(b.toolkit.boxes.empty());
    }

    void replyAtLinePace()
    {
        Bench b(SimPorts::LinePace());
        QCOMPARE(b.Ask(7, 1000), QStringLiteral("16141900030018"));
    }

    void timeOuts_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("count");
        QTest::newRow("no reply") << int(sim::Fault::Silent) << 7;
        QTest::newRow("fewer bytes") << int(sim::Fault::Partial) << 7;
        QTest::newRow("more bytes") << int(sim::Fault::Extra) << 7;
    }
    void timeOuts()
    {
        QFETCH(int, fault);
        QFETCH(int, count);
        Bench b;
        b.unit.SetFault(static_cast<sim::Fault>(fault));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(b.Ask(static_cast<qint16>(count), 400), QString());
        const qint64 took = timer.elapsed();
        QVERIFY2(took > 400 && took < 900, qPrintable(QString::number(took)));
        QCOMPARE(b.link.ReplyBuffer, Bytes(static_cast<std::size_t>(count), 0));
        QCOMPARE(b.comm.RThreshold(), 0);
        QCOMPARE(b.comm.InBufferCount(), 0);
    }

    void tricklingReplyRestartsTheLimit()
    {
        sim::SimOptions options = SimPorts::Instant();
        options.fault = sim::Fault::Trickle;
        options.trickleGapMs = 250;
        Bench b(options);
        QElapsedTimer timer;
        timer.start();
        // Six gaps of 250 ms: far longer than the 400 ms limit, but never silent for that long.
        QCOMPARE(b.Ask(7, 400), QStringLiteral("16141900030018"));
        QVERIFY(timer.elapsed() >= 1400);
    }

    void babblingLineEndsAsTimeOut()
    {
        sim::SimOptions options = SimPorts::Instant();
        options.fault = sim::Fault::Babble;
        Bench b(options);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(b.Ask(2, 400, Op::ToggleOverlay, 2), QString());
        const qint64 took = timer.elapsed();
        // Bounded by the whole-wait limit, not by the (never coming) silence.
        QVERIFY2(took >= SerialLink::kWholeWaitMs && took < SerialLink::kWholeWaitMs + 500,
                 qPrintable(QString::number(took)));
        QCOMPARE(b.link.ReplyBuffer, Bytes(2, 0));
    }

    // A peer that sends without pause: the wait ends on the whole limit and says that bytes came.
    void floodIsBounded()
    {
        sim::SimOptions options = SimPorts::Instant();
        options.fault = sim::Fault::Flood;
        Bench b(options);
        UnitCore core(b.link, b.comm, b.toolkit);
        QElapsedTimer timer;
        timer.start();
        const Outcome o = core.Read();
        const qint64 took = timer.elapsed();
        QVERIFY2(took < SerialLink::kWholeWaitMs + 300, qPrintable(QString::number(took)));
        QCOMPARE(o.failure, Failure::NoReply);
        QVERIFY(o.traffic.back().seen > 7);
        QVERIFY2(FailureText(o).contains(QStringLiteral(" where 7 bytes were expected")),
                 qPrintable(FailureText(o)));
        // What the wait holds at a time is measured by the benchmark's flood row.
    }

    // The protocol numbers no request: an answer that comes after the limit must not be taken as
    // the answer to the next request.
    void lateAnswerNeverAnswersTheNext()
    {
        sim::SimOptions options = SimPorts::Instant();
        options.fault = sim::Fault::Late;
        Bench b(options);
        UnitCore core(b.link, b.comm, b.toolkit);
        QCOMPARE(core.Toggle(ToggleTarget::Overlay).failure, Failure::NoReply);
        b.link.CloseLink();
        b.unit.SetFault(sim::Fault::None);
        const Outcome step = core.Step(ParamId::Size, StepWay::Up);
        QVERIFY2(step.Ok(), qPrintable(FailureText(step)));
        QCOMPARE(step.value, 26);  // the size stepped up from 25, not the toggle's late echo
    }

    void openAndClose()
    {
        Bench b;
        b.Open();
        QVERIFY(b.comm.PortOpen());
        QCOMPARE(b.toolkit.sleeps, (std::vector<int>{5}));
        b.Open();  // already open: nothing, not even the pause
        QCOMPARE(b.toolkit.sleeps, (std::vector<int>{5}));
        b.link.CloseLink();
        QVERIFY(!b.comm.PortOpen());
        QCOMPARE(b.toolkit.sleeps, (std::vector<int>{5, 100, 5}));
        b.link.CloseLink();  // closing a closed port is silent too
        QCOMPARE(b.toolkit.sleeps, (std::vector<int>{5, 100, 5, 100, 5}));
        QVERIFY(b.toolkit.boxes.empty());
    }

    void closeLinkTakesItsPauses()
    {
        Bench b;
        b.toolkit.realSleep = true;
        b.Open();
        QElapsedTimer timer;
        timer.start();
        b.link.CloseLink();
        QVERIFY(timer.elapsed() >= 105);
    }

    void openFailuresAreShown()
    {
        Bench b;
        b.comm.SetCommPort(4);  // nothing at COM4
        b.Open();
        QVERIFY(!b.comm.PortOpen());
        QCOMPARE(b.toolkit.BoxTexts(), QStringList{QStringLiteral("该串口不存在！")});
        QVERIFY(b.toolkit.sleeps.empty());

        b.toolkit.Clear();
        b.ports.AddDangling(6);  // an adapter that was unplugged
        b.comm.SetCommPort(6);
        b.Open();
        QCOMPARE(b.toolkit.BoxTexts(), QStringList{QStringLiteral("该串口不存在！")});
    }

    void portHeldElsewhere()
    {
        Bench b;
        SerialControl other;
        other.SetCommPort(3);
        other.SetPortOpen(true);
        b.Open();
        QVERIFY(!b.comm.PortOpen());
        QCOMPARE(b.toolkit.BoxTexts(), QStringList{QStringLiteral("串口已被占用")});
        other.SetPortOpen(false);

        // Another program on the terminal itself, by another path.
        b.toolkit.Clear();
        const int fd = ::open(b.unit.TerminalPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        b.Open();
        QCOMPARE(b.toolkit.BoxTexts(), QStringList{QStringLiteral("串口已被占用")});
        ::close(fd);
        b.toolkit.Clear();
        b.Open();
        QVERIFY(b.comm.PortOpen());
        QVERIFY(b.toolkit.boxes.empty());
    }

    void controlRules()
    {
        Bench b;
        b.Open();
        try {
            b.comm.SetCommPort(5);
            QFAIL("the port number changed under an open port");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), 8000);
        }
        QCOMPARE(b.comm.CommPort(), 3);
        b.link.CloseLink();
        try {
            b.comm.Output(CommandFrame(Op::ReadParams, 0));
            QFAIL("wrote to a closed port");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), 8012);
        }
        try {
            b.comm.InBufferCount();
            QFAIL("read a closed port");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), 8018);
        }
        QVERIFY_THROWS_EXCEPTION(CommError, b.comm.SetSettings(QStringLiteral("9600;n;8;1")));
    }

    // The line set-up's properties act: Received from RThreshold bytes, Input by InputLen.
    void lineSetUpActs()
    {
        Bench b;
        SetUpLine(b.comm);
        int received = 0;
        QObject::connect(&b.comm, &SerialControl::Received, [&] { ++received; });
        b.Open();
        b.comm.Output(CommandFrame(Op::ReadParams, 0));
        QVERIFY(b.comm.WaitForInput(1000));
        QVERIFY(received > 0);
        QTest::qWait(20);
        b.comm.SetInputLen(3);
        QCOMPARE(b.comm.Input().size(), 3u);
        b.comm.SetInputLen(0);
        QCOMPARE(b.comm.Input().size(), 4u);
        b.comm.SetRThreshold(0);
        received = 0;
        b.comm.Output(CommandFrame(Op::ReadParams, 0));
        QVERIFY(b.comm.WaitForInput(1000));
        QCOMPARE(received, 0);
        QVERIFY_THROWS_EXCEPTION(CommError, b.comm.SetInputMode(0));
    }

    void staleBytesDoNotSurviveAClose()
    {
        Bench b;
        b.unit.SetReplyDelay(150);
        b.Open();
        b.comm.Output(CommandFrame(Op::ReadParams, 0));
        b.link.CloseLink();  // closed before the late answer comes
        QTest::qWait(200);
        b.Open();
        QCOMPARE(b.comm.InBufferCount(), 0);
    }

    void adapterPulledMidReply()
    {
        Bench b;
        b.unit.SetFault(sim::Fault::HangUp);
        b.Open();
        b.comm.Output(CommandFrame(Op::ReadParams, 0));
        try {
            b.link.ReadReplyHex(7, 1000);
            QFAIL("a vanished device gave a reply");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), 8020);
        }
        QVERIFY(!b.comm.PortOpen());
    }

    void adapterPulledWhileOpen()
    {
        Bench b;
        b.Open();
        b.unit.Unplug();
        try {
            b.comm.Output(CommandFrame(Op::ReadParams, 0));
            b.link.ReadReplyHex(7, 1000);
            QFAIL("a vanished device gave a reply");
        } catch (const CommError &e) {
            QVERIFY2(e.number() == 8019 || e.number() == 8020, e.what());
        }
        QVERIFY(!b.comm.PortOpen());
        b.Open();
        QCOMPARE(b.toolkit.BoxTexts(), QStringList{QStringLiteral("该串口不存在！")});
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
