// Units behind a serial device server: Debian's ser2net bridging simulated units to loopback
// ports, raw (socket://) and RFC 2217 (rfc2217://), driven by kv306ctl, the station and the
// window; and servers that fail every way a network can.
#include "support/ctl_run.h"
#include "support/relay.h"
#include "support/ser2net.h"
#include "support/sim_ports.h"
#include "support/station_run.h"
#include "support/unanswered_port.h"
#include "support/window.h"

#include "link/rfc2217.h"
#include "protocol/probe.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <unistd.h>

using namespace kv306;
using namespace kv306::test;

namespace {

using Result = CtlRun;

Result Ctl(const QStringList &args)
{
    return RunCtl(args);
}

QString Speed(const QString &device)
{
    QProcess stty;
    stty.start("stty", {"-F", device, "speed"});
    stty.waitForFinished();
    return QString::fromLatin1(stty.readAllStandardOutput()).trimmed();
}

// A server of the test's own on a loopback port: `serve` gets each connection.
class Peer : public QThread {
public:
    explicit Peer(std::function<void(QTcpSocket &)> serve) : serve_(std::move(serve))
    {
        port = FreePort();
        start();
        QThread::msleep(100);
    }
    ~Peer() override { wait(); }
    quint16 port = 0;

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, port);
        if (!server.waitForNewConnection(10000))
            return;
        std::unique_ptr<QTcpSocket> client(server.nextPendingConnection());
        serve_(*client);
    }

private:
    std::function<void(QTcpSocket &)> serve_;
};

}  // namespace

class TestNetwork : public QObject {
    Q_OBJECT
private slots:
    // Through each kind of server port the unit gets every frame byte for byte (each carries
    // 0xFF, which RFC 2217 doubles on the way out) and the tool every reply byte (an echo of
    // FF FF, doubled on the way in). Over RFC 2217 the server's line is set to 9600 whatever it
    // was configured with; raw TCP leaves it as the server has it.
    void frameForFrame_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::newRow("socket://") << false;
        QTest::newRow("rfc2217://") << true;
    }
    void frameForFrame()
    {
        QFETCH(bool, rfc2217);
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString device = QString::fromStdString(unit.TerminalPath());
        Ser2Net server(device, 115200);
        const QString port = rfc2217 ? server.Rfc2217() : server.Raw();
        Result r = Ctl({"--port", port, "write", "horizontal=63", "vertical=0", "size=51", "standard=NTSC",
                        "roundness=3", "outside=remove"});
        QCOMPARE(r.err, QString());
        r = Ctl({"--port", port, "read"});
        QCOMPARE(r.out, "horizontal=63 vertical=0 size=51 standard=NTSC roundness=3 outside=remove\n");
        // --trace shows the frames on standard error, decoded; the data and the JSON stay clean.
        r = Ctl({"--port", port, "--trace", "--json", "read"});
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object()["size"].toInt(), 51);
        const QRegularExpression traced("trace \\d\\d:\\d\\d:\\d\\d\\.\\d{3} " +
                                        QRegularExpression::escape(port) +
                                        " sent 55 D0 A3 00 FF 01 8D \\(Read parameters\\)\n.*trace .* "
                                        "received 3F 00 33 01 03 01 .* after \\d+ ms "
                                        "\\(Six parameters 63 0 51 NTSC 3 Remove\\)\n");
        QVERIFY2(traced.match(r.err).hasMatch(), qPrintable(r.err));

        unit.SetReplyOverride([](const sim::Bytes &request) -> std::optional<sim::Bytes> {
            if (request.size() == 7 && request[2] == 0xA4)
                return sim::Bytes{0xFF, 0xFF};
            sim::UnitState state;
            return sim::SimUnit::Answer(request, state);
        });
        r = Ctl({"--port", port, "toggle", "overlay"});
        QCOMPARE(r.out, "overlay toggle acknowledged (echo FF FF)\n");
        QCOMPARE(RequestFrames(unit),
                 (QStringList{"55 EE 00 00 FF 3F 00 33 01 03 01 0F", "55 D0 A3 00 FF 01 8D",
                              "55 D0 A3 00 FF 01 8D", "55 D0 A4 02 FF 01 88"}));
        // An exchange leaves the port open until the link closes it: the server's line then.
        UnitOnPort here(*PortRef::Read(port));
        QVERIFY(here.core.Read().Ok());
        QCOMPARE(Speed(device), rfc2217 ? "9600" : "115200");
        here.link.CloseLink();
    }

    // The window reads its unit at start-up through a ports-folder entry that names a server
    // port, and a held arrow steps it there; a network port typed into the port list is picked
    // and remembered in Com.TXT.
    void windowThroughAServer()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3, SimPorts::LinePace());
        Ser2Net server(QString::fromStdString(unit.TerminalPath()));
        QFile::remove(ports.LinkPath(3));  // only the entry below is a port
        QFile entry(ports.LinkPath(7));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write(server.Rfc2217().toUtf8() + "\n");
        entry.close();
        Window w;
        w.toolkit.realSleep = true;
        QVERIFY(w.form.Load());
        QCOMPARE(w.PortEntries(), QStringList{"COM7"});
        w.form.Actions().ReadQuietly();
        QCOMPARE(w.ListTexts(), (QStringList{"22", "20", "25", "PAL", "3", "保留"}));
        w.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.form));
        QWidget *arrow = w.form.HorizontalButtons()[0];
        QTimer::singleShot(700, arrow, [arrow] { QTest::mouseRelease(arrow, Qt::LeftButton); });
        QTest::mousePress(arrow, Qt::LeftButton);
        const int stepped = w.form.ParamLists()[0]->currentText().toInt();
        QVERIFY2(stepped >= 24, qPrintable(w.form.ParamLists()[0]->currentText()));
        QCOMPARE(static_cast<int>(unit.State().params[0]), stepped);

        DropList *list = w.form.PortList();
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list, server.Raw());
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(w.form.Serial().DevicePath(), server.Raw());
        QCOMPARE(w.PortFile(), '"' + server.Raw().toUtf8() + "\"\r\n");
        QVERIFY(w.toolkit.boxes.empty());
        w.form.Actions().ReadClick();
        QCOMPARE(w.toolkit.BoxTexts(), QStringList{"读出成功！"});

        // The next start-up uses the server port Com.TXT remembers, shown as an entry.
        w.form.Serial().SetPortOpen(false);
        Window next;
        next.WritePortFile(w.PortFile());
        QVERIFY(next.form.Load());
        QCOMPARE(next.PortEntries(), (QStringList{"COM7", server.Raw()}));
        QCOMPARE(next.form.Serial().DevicePath(), server.Raw());
        next.form.Actions().ReadClick();
        QCOMPARE(next.toolkit.BoxTexts(), QStringList{"读出成功！"});

        // A remembered server that never agrees the line stays the port shown and in use, and
        // the status line says why it did not answer (not "no port", with COM7 picked instead).
        Peer silent([](QTcpSocket &c) { c.waitForReadyRead(3000); });
        const QString mute = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.port);
        Window third;
        third.WritePortFile('"' + mute.toUtf8() + "\"\r\n");
        QVERIFY(third.form.Load());
        QCOMPARE(third.form.PortList()->Text(), mute);
        QCOMPARE(third.form.Serial().DevicePath(), mute);
        QVERIFY2(third.form.PortProblem().startsWith("记住的网络串口 " + mute + " 没有应答："),
                 qPrintable(third.form.PortProblem()));
    }

    // A line of two server ports and a local one at once, and a station with a network slot; two
    // names of one server port are one port.
    void lineOfServersAndALocalPort()
    {
        SimPorts ports;
        sim::SimUnit &a = ports.Add(3);
        sim::SimUnit &b = ports.Add(4);
        ports.Add(5);
        Ser2Net serverA(QString::fromStdString(a.TerminalPath()));
        Ser2Net serverB(QString::fromStdString(b.TerminalPath()));
        QFile profile(ports.Path() + "/line.json");
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(kProfile);
        profile.close();
        const QStringList line{"--port", serverA.Rfc2217(), "--port", serverB.Raw(), "--port", "COM5"};
        Result r = Ctl(QStringList{"apply", profile.fileName()} + line);
        QVERIFY2(r.out.endsWith("3 units: 3 applied, 0 failed\n"), qPrintable(r.out + r.err));
        r = Ctl(QStringList{"verify", profile.fileName()} + line);
        QVERIFY2(r.out.endsWith("3 units: 3 match, 0 differ, 0 failed\n"), qPrintable(r.out + r.err));
        r = Ctl({"station", profile.fileName(), "--port", serverA.Raw(), "--report", ports.Path() + "/r.csv",
                 "--once"});
        QCOMPARE(r.code, 0);
        QFile report(ports.Path() + "/r.csv");
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().contains(",1,1," + serverA.Raw().toUtf8() + "," + serverA.Raw().toUtf8() +
                                          ",,pass,"));
        r = Ctl({"--port", QString(serverA.Raw()).replace("127.0.0.1", "localhost"), "--port",
                 serverA.Rfc2217().replace(QString::number(serverA.telnet), QString::number(serverA.raw)),
                 "probe"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("are the same port"), qPrintable(r.err));
    }

    // Every way a server port fails is a numbered port error that names the server and the fix,
    // each within its bounds.
    void serversThatFail_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("nothing listening") << "nothing" << 3 << "error 8002: nothing listens at socket://";
        QTest::newRow("no such host")
            << "no such host" << 3 << "error 8002: the host no-such-host.invalid is not known";
        QTest::newRow("no connection in 2 s") << "unanswered" << 3 << "did not take a connection within 2 s";
        QTest::newRow("served to another client")
            << "busy" << 3 << "error 8005: the serial device server rfc2217://";
        QTest::newRow("COM-PORT-OPTION refused")
            << "refuses" << 3 << "does not let us set the line; use socket:// if its line is set to 9600 8N1";
        QTest::newRow("stopped mid-reply")
            << "stopped" << 3 << "error 8020: the serial device server socket://";
        QTest::newRow("flood") << "flood" << 1 << "the unit sent";
    }
    void serversThatFail()
    {
        QFETCH(QString, how);
        QFETCH(int, code);
        QFETCH(QString, said);
        SimPorts ports;
        sim::SimOptions slow = SimPorts::Instant();
        slow.replyDelayMs = 400;
        sim::SimUnit &unit = ports.Add(3, slow);
        Ser2Net server(QString::fromStdString(unit.TerminalPath()));
        QString port = server.Raw();
        std::unique_ptr<Peer> peer;
        std::unique_ptr<QTcpSocket> holder;
        std::optional<UnansweredPort> unanswered;
        if (how == "nothing") {
            port = QStringLiteral("socket://127.0.0.1:%1").arg(FreePort());
        } else if (how == "unanswered") {
            unanswered.emplace();
            port = unanswered->Url();
        } else if (how == "no such host") {
            port = "rfc2217://no-such-host.invalid:2217";
        } else if (how == "busy") {
            port = server.Rfc2217();
            holder = std::make_unique<QTcpSocket>();
            holder->connectToHost(QHostAddress::LocalHost, server.telnet);
            QVERIFY(holder->waitForConnected());
            QThread::msleep(100);
        } else if (how == "refuses") {
            peer = std::make_unique<Peer>([](QTcpSocket &c) {
                c.waitForReadyRead(2000);
                c.readAll();
                c.write(QByteArray("\xFF\xFE\x2C", 3));  // DONT COM-PORT-OPTION
                c.waitForBytesWritten();
                c.waitForReadyRead(2000);
            });
            port = QStringLiteral("rfc2217://127.0.0.1:%1").arg(peer->port);
        } else if (how == "stopped") {
            // Stopped once the request reached the unit, whose reply then has nowhere to go.
            auto *watch = new QTimer(this);
            connect(watch, &QTimer::timeout, [&server, &unit, watch] {
                if (unit.Heard() > 0) {
                    server.Stop();
                    watch->deleteLater();
                    watch->stop();
                }
            });
            watch->start(10);
        } else if (how == "flood") {
            peer = std::make_unique<Peer>([](QTcpSocket &c) {
                const QByteArray noise(4096, '\x55');
                while (c.state() == QAbstractSocket::ConnectedState) {
                    c.write(noise);
                    c.waitForBytesWritten(100);
                }
            });
            port = QStringLiteral("socket://127.0.0.1:%1").arg(peer->port);
        }
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        p.start(QStringLiteral(KV306CTL), {"--port", port, "read"});
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 10000);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), code);
        QVERIFY2(err.contains(said), qPrintable(err));
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    }

    // A server that serves another client says so whenever its words come, before or after the
    // request went out: busy (8005), never gone, through a network that delays each direction.
    void busyWhateverTheDelay_data()
    {
        QTest::addColumn<bool>("rfc2217");
        QTest::addColumn<int>("delayMs");
        for (const int ms : {0, 2, 30}) {
            QTest::addRow("socket:// %d ms", ms) << false << ms;
            QTest::addRow("rfc2217:// %d ms", ms) << true << ms;
        }
    }
    void busyWhateverTheDelay()
    {
        QFETCH(bool, rfc2217);
        QFETCH(int, delayMs);
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Ser2Net server(QString::fromStdString(unit.TerminalPath()));
        const quint16 target = rfc2217 ? server.telnet : server.raw;
        QTcpSocket holder;
        holder.connectToHost(QHostAddress::LocalHost, target);
        QVERIFY(holder.waitForConnected());
        QThread::msleep(100);
        Relay relay(target, delayMs);
        for (int i = 0; i < 4; ++i) {
            const Result r = Ctl({"--port", relay.Url(rfc2217 ? "rfc2217" : "socket"), "read"});
            QCOMPARE(r.code, 3);
            QVERIFY2(r.err.contains("error 8005"), qPrintable(r.err));
        }
    }

    // A server that never ends a subnegotiation, or floods while the line is agreed, or floods
    // raw: what the tool holds stays small (the read's own size, far from the flood's).
    void floodsHeldSmall_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QByteArray>("opening");
        QTest::newRow("a subnegotiation that never ends") << "rfc2217" << QByteArray("\xFF\xFA\x2C", 3);
        QTest::newRow("a flood while the line is agreed") << "rfc2217" << QByteArray();
        QTest::newRow("a raw flood") << "socket" << QByteArray();
    }
    void floodsHeldSmall()
    {
        QFETCH(QString, scheme);
        QFETCH(QByteArray, opening);
        Peer peer([opening](QTcpSocket &c) {
            c.write(opening);
            const QByteArray noise(1 << 16, '\x55');
            QElapsedTimer clock;
            clock.start();
            while (c.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 8000) {
                c.write(noise);
                c.waitForBytesWritten(100);
            }
        });
        // The highest resident size the system saw of a read, sampled until the program ends;
        // under AddressSanitizer with no quarantine, which would hold every freed buffer.
        const auto highestKiB = [&scheme](quint16 port) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
            p.setProcessEnvironment(env);
            p.start(QStringLiteral(KV306CTL),
                    {"--port", QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port), "read"});
            p.waitForStarted();
            qint64 highest = 0;
            while (p.state() != QProcess::NotRunning) {
                QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
                if (status.open(QIODevice::ReadOnly)) {
                    for (const QByteArray &line : status.readAll().split('\n')) {
                        if (line.startsWith("VmHWM:"))
                            highest =
                                std::max(highest, line.mid(6).trimmed().split(' ').value(0).toLongLong());
                    }
                }
                p.waitForFinished(20);
            }
            return p.exitCode() == 1 || p.exitCode() == 3 ? highest : -1;
        };
        // The same read against a server that says nothing, for what a read holds anyway.
        Peer quiet([](QTcpSocket &c) { c.waitForReadyRead(3000); });
        const qint64 calm = highestKiB(quiet.port);
        const qint64 flooded = highestKiB(peer.port);
        QVERIFY2(calm > 0 && flooded > 0 && flooded < calm + 16 * 1024,
                 qPrintable(QStringLiteral("%1 KiB flooded, %2 KiB calm").arg(flooded).arg(calm)));
    }

    // ser2net restarted while a unit stays on its fixture: the refused connections are misses,
    // fewer than make a unit gone, and the unit is counted once.
    void serverRestartedUnitStays()
    {
        SimPorts ports;
        Ser2Net server(QString::fromStdString(ports.Add(3).TerminalPath()));
        StationRun station(ports.Path(), {"--port", server.Raw(), "--report", ports.Path() + "/r.csv"});
        const auto rows = [&ports] {
            QFile report(ports.Path() + "/r.csv");
            return report.open(QIODevice::ReadOnly) ? report.readAll().count('\n') - 1 : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 10000);
        QTest::qWait(500);
        server.Stop();
        QTest::qWait(300);
        server.Start();
        QTest::qWait(3000);
        station.Signal(SIGTERM);
        station.Finish();
        QVERIFY2(station.out_.contains("station: 1 unit: 1 pass"), qPrintable(station.out_ + station.Err()));
        QCOMPARE(rows(), 1);
    }

    // A unit on a local port and the same unit through a server on this computer that serves
    // that port's terminal, in one station: one device, one row; the server's slot says whose.
    void localPortAndItsServerOneDevice()
    {
        SimPorts ports;
        Ser2Net server(QString::fromStdString(ports.Add(3).TerminalPath()));
        StationRun station(ports.Path(),
                           {"--port", "COM3", "--port", server.Raw(), "--report", ports.Path() + "/r.csv"});
        QTest::qWait(3000);
        station.Signal(SIGTERM);
        station.Finish();
        const QString &out = station.out_;
        const QString err = station.Err();
        // One unit, one row, COM3's (the server's first connection may still cross COM3's first
        // exchange: ser2net opens the terminal as it takes a connection, though nothing is sent).
        QVERIFY2(out.contains("COM3 #1 ") && out.contains("station: 1 unit: "), qPrintable(out + err));
        QVERIFY2(err.contains(server.Raw() + ": busy (it is the same device as COM3)"), qPrintable(err));
        QVERIFY2(!err.contains("lock file"), qPrintable(err));
    }

    // What names no server port is refused as such, before anything is looked up or sent (every
    // spelling: tst_port_ref).
    void serverNamesRefused()
    {
        const Result r = Ctl({"--port", "socket://user@host:1", "read"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("user name"), qPrintable(r.err));
    }

    // What a server sends is read across any cut between packets: a doubled 0xFF is one data
    // byte, a command never reaches the data.
    void telnetAcrossPackets()
    {
        const QByteArray stream =
            QByteArray("\x01\xFF\xFF\x02\xFF\xFB\x01\xFF\xFA\x2C\x65\x00\x00\x25\x80\xFF\xF0\x03", 18);
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            telnet::Decoder decoder;
            QByteArray data;
            std::vector<telnet::Command> commands;
            decoder.Feed(stream.left(cut), &data, &commands);
            decoder.Feed(stream.mid(cut), &data, &commands);
            QCOMPARE(data, QByteArray("\x01\xFF\x02\x03", 4));
            QCOMPARE(commands.size(), 2u);
            QCOMPARE(commands[0].verb, telnet::kWill);
            QCOMPARE(commands[1].sub, QByteArray("\x65\x00\x00\x25\x80", 5));
        }
        QCOMPARE(telnet::Escape(QByteArray("\x55\xFF\x01", 3)), QByteArray("\x55\xFF\xFF\x01", 4));
    }
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
