// kv306ctl driven as a process against simulated units: the frames each command puts on the
// wire, what it prints, and its exit code for every kind of failure.
#include "support/ctl_run.h"
#include "support/sim_ports.h"
#include "support/unanswered_port.h"

#include "link/serial_control.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kv306;
using namespace kv306::test;

namespace {

using Result = CtlRun;

// Runs kv306ctl with `args`; `asNobody` runs it as a user outside every group.
Result Ctl(const QStringList &args, bool asNobody = false, const QString &program = QStringLiteral(KV306CTL))
{
    return RunCtl(
        args,
        [asNobody](QProcess &p) {
            if (asNobody) {
                p.setChildProcessModifier([] {
                    (void)!::setgroups(0, nullptr);
                    (void)!::setgid(65534);
                    (void)!::setuid(65534);
                });
            }
            // Whatever the locale, kv306ctl speaks English.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LANG"), QStringLiteral("zh_CN.UTF-8"));
            p.setProcessEnvironment(env);
        },
        program);
}

QByteArray ProfileText(const QByteArray &inside)
{
    return "{\"format\": \"kv306-profile\", \"version\": 1, " + inside + "}";
}

const QByteArray kGoodValues = "\"horizontal\": 1, \"vertical\": 2, \"size\": 3, \"standard\": \"NTSC\", "
                               "\"roundness\": 0, \"outside\": \"remove\"";

const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");

}  // namespace

class TestCtl : public QObject {
    Q_OBJECT
private slots:
    void commandsOnTheWire_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QStringList>("frames");
        const QString opening =
            QStringLiteral("horizontal=22 vertical=20 size=25 standard=PAL roundness=3 outside=keep");
        QTest::newRow("read") << QStringList{"read"} << opening + "\n" << QStringList{kRead};
        QTest::newRow("write") << QStringList{"write",         "horizontal=1", "vertical=2",    "size=3",
                                              "standard=NTSC", "roundness=0",  "outside=remove"}
                               << QString() << QStringList{"55 EE 00 00 FF 01 02 03 01 00 01 00"};
        QTest::newRow("set") << QStringList{"set", "size=30"}
                             << "horizontal=22 vertical=20 size=30 standard=PAL roundness=3 outside=keep\n"
                             << QStringList{kRead, "55 EE 00 00 FF 16 14 1E 00 03 00 1F", kRead};
        QTest::newRow("toggle") << QStringList{"toggle", "overlay"}
                                << "overlay toggle acknowledged (echo 00 00)\n"
                                << QStringList{"55 D0 A4 02 FF 01 88"};
        QTest::newRow("step down") << QStringList{"step", "vertical", "down", "2"}
                                   << "vertical=19\nvertical=18\n"
                                   << QStringList{"55 D0 A1 01 FF 01 8E", "55 D0 A1 01 FF 01 8E"};
        QTest::newRow("step up") << QStringList{"step", "size", "up"} << "size=26\n"
                                 << QStringList{"55 D0 A2 00 FF 01 8C"};
    }
    void commandsOnTheWire()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFETCH(QStringList, frames);
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const Result r = Ctl(QStringList{"--port", "COM3"} + args);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, out);
        QCOMPARE(RequestFrames(unit), frames);
    }

    void badInputSendsNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("profile");  // written to a file named by the args' "@"
        QTest::addColumn<QString>("said");
        const QStringList six{"horizontal=1", "vertical=2", "size=3", "standard=NTSC", "roundness=0"};
        QTest::newRow("unknown key") << QStringList{"set", "width=3"} << QByteArray()
                                     << "unknown key 'width'";
        QTest::newRow("out of range")
            << QStringList{"set", "size=52"} << QByteArray() << "size=52 is out of range (0-51)";
        QTest::newRow("repeated key")
            << QStringList{"set", "size=1", "size=2"} << QByteArray() << "'size' given twice";
        QTest::newRow("missing key") << QStringList{"write"} + six << QByteArray() << "'outside' is missing";
        QTest::newRow("not a word") << QStringList{"set", "standard=SECAM"} << QByteArray() << "(PAL|NTSC)";
        QTest::newRow("step count") << QStringList{"step", "size", "up", "0"} << QByteArray() << "COUNT";
        QTest::newRow("negative count") << QStringList{"step", "size", "down", "-3"} << QByteArray()
                                        << "COUNT must be a positive whole number, not -3";
        QTest::newRow("no command") << QStringList{} << QByteArray() << "no command";
        QTest::newRow("unknown option") << QStringList{"read", "--fast"} << QByteArray() << "fast";
        QTest::newRow("bad port") << QStringList{"read", "--port", "COM21"} << QByteArray()
                                  << "'COM21' is no port";
        const QStringList from{"write", "--from", "@"};
        QTest::newRow("profile: format")
            << from << QByteArray("{\"format\": \"x\", \"version\": 1}") << "\"format\"";
        QTest::newRow("profile: version")
            << from << QByteArray("{\"format\": \"kv306-profile\", \"version\": 2}")
            << "\"version\" is not 1";
        QTest::newRow("profile: missing")
            << from << ProfileText("\"horizontal\": 1") << "missing key \"vertical\"";
        QTest::newRow("profile: unknown")
            << from << ProfileText(kGoodValues + ", \"colour\": 1") << "unknown key \"colour\"";
        QTest::newRow("profile: type")
            << from << ProfileText(QByteArray(kGoodValues).replace("\"size\": 3", "\"size\": \"3\""))
            << "\"size\" must be a whole number";
        QTest::newRow("profile: fraction")
            << from << ProfileText(QByteArray(kGoodValues).replace("\"size\": 3", "\"size\": 3.5"))
            << "\"size\" must be a whole number";
        // The strict reader means it: a whole number is written as one, and a file is text.
        QTest::newRow("profile: 22.0")
            << from << ProfileText(QByteArray(kGoodValues).replace("\"size\": 3", "\"size\": 3.0"))
            << "\"size\" must be a whole number";
        QTest::newRow("profile: 3e0")
            << from << ProfileText(QByteArray(kGoodValues).replace("\"size\": 3", "\"size\": 3e0"))
            << "\"size\" must be a whole number";
        QTest::newRow("profile: version 1.0")
            << from << QByteArray(ProfileText(kGoodValues)).replace("\"version\": 1", "\"version\": 1.0")
            << "\"version\" is not 1";
        QTest::newRow("profile: trailing NUL")
            << from << ProfileText(kGoodValues) + QByteArray(1, '\0') << "NUL byte";
        QTest::newRow("profile: range")
            << from << ProfileText(QByteArray(kGoodValues).replace("\"roundness\": 0", "\"roundness\": 4"))
            << "\"roundness\" is out of range (0-3)";
        QTest::newRow("profile: size")
            << from << ProfileText(kGoodValues + ", " + QByteArray(70000, ' ')) << "larger than 64 KiB";
        QTest::newRow("profile: UTF-8") << from << ProfileText(kGoodValues + ", \"\xff\": 1") << "not UTF-8";
        QTest::newRow("profile: JSON") << from << QByteArray("{\"format\": ") << "not JSON";
        QTest::newRow("profile: key twice")
            << from << ProfileText(kGoodValues + ", \"size\": 4") << "key \"size\" given twice";
        // A key that would clear the terminal and cut the line is shown harmless.
        QTest::newRow("profile: control characters")
            << from << ProfileText(kGoodValues + ", \"\\u001b[2J\\u0000end\": 1")
            << "unknown key \"\\x1b[2J\\x00end\"";
        QTest::newRow("apply: profile")
            << QStringList{"apply", "@", "--port", "COM3"} << QByteArray("[]") << "not a JSON object";
    }
    void badInputSendsNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, profile);
        QFETCH(QString, said);
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString file = ports.Path() + "/profile.json";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(profile);
        f.close();
        args.replaceInStrings(QRegularExpression("^@$"), file);
        if (!args.contains("--port"))
            args << "--port"
                 << "COM3";
        const Result r = Ctl(args);
        QCOMPARE(r.code, 2);
        if (QByteArray(QTest::currentDataTag()).startsWith("profile"))
            QVERIFY2(!r.err.contains("--help"), qPrintable(r.err));
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
        QCOMPARE(r.err.count('\n'), 1);
        QCOMPARE(r.out, QString());
        QVERIFY(unit.Received().empty());
    }

    void unitFailuresAndTheirExitCodes_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("silent") << int(sim::Fault::Silent) << QStringList{"read"} << 1
                                << "COM3: no reply within 1000 ms";
        QTest::newRow("corrupt check") << int(sim::Fault::CorruptCheck) << QStringList{"read"} << 1
                                       << "COM3: bad check byte in reply 16 14 19 00 03 00 19";
        QTest::newRow("unequal echo") << int(sim::Fault::UnequalEcho) << QStringList{"toggle", "crosshair"}
                                      << 1 << "COM3: unequal echo 00 01";
        QTest::newRow("out of range") << int(sim::Fault::OutOfRange) << QStringList{"step", "size", "up"} << 1
                                      << "COM3: value out of range in reply 40 40";
        QTest::newRow("bad ack") << int(sim::Fault::BadAck) << QStringList{"set", "size=1"} << 1
                                 << "COM3: bad reply 98 to a parameter write";
        QTest::newRow("hang-up") << int(sim::Fault::HangUp) << QStringList{"read"} << 3 << "COM3: error 80";
        QTest::newRow("missing") << -1 << QStringList{"read"} << 3
                                 << "COM3: error 8002: This port does not exist!";
    }
    void unitFailuresAndTheirExitCodes()
    {
        QFETCH(int, fault);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        SimPorts ports;
        if (fault >= 0)
            ports.Add(3).SetFault(static_cast<sim::Fault>(fault));
        const Result r = Ctl(QStringList{"--port", "COM3"} + args);
        QVERIFY2(r.err.startsWith("kv306ctl: " + said), qPrintable(r.err));
        QCOMPARE(r.code, code);
    }

    // Replies taken that the unit may not have sent: a step that changes nothing away from its
    // limit, an echo whose bytes came far apart (a dead unit on a noisy line).
    void unconfirmedReplies()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        unit.SetReplyOverride([](const sim::Bytes &) { return sim::Bytes{27, 27}; });
        const Result same = Ctl({"--port", "COM3", "--json", "step", "size", "up", "3"});
        QCOMPARE(same.code, 1);
        QCOMPARE(same.err,
                 "kv306ctl: COM3: unconfirmed: size=27 again after a step up, away from its limit 51\n");
        QCOMPARE(QJsonDocument::fromJson(same.out.toUtf8())["size"].toArray(), QJsonArray{27});
        QCOMPARE(unit.Requests().size(), 2u);

        sim::SimOptions trickle = SimPorts::Instant();
        trickle.fault = sim::Fault::Trickle;
        trickle.trickleGapMs = 300;
        ports.Remove(3);
        ports.Add(3, trickle);
        const Result spread = Ctl({"--port", "COM3", "toggle", "overlay"});
        QCOMPARE(spread.code, 1);
        QVERIFY2(QRegularExpression(
                     "^kv306ctl: COM3: unconfirmed: overlay toggle: echo 00 00, but the two reply "
                     "bytes came (29[0-9]|3[0-9][0-9]) ms apart")  // the first byte may be read late
                     .match(spread.err)
                     .hasMatch(),
                 qPrintable(spread.err));
    }

    // --json: one line a document; the steps made stay when a later step fails; a usage error is
    // a document too.
    void jsonTellsWhatWasDone()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString link = ports.LinkPath(3);
        // The adapter is pulled after the second step's answer.
        unit.SetReplyOverride([link, n = 0](const sim::Bytes &) mutable -> std::optional<sim::Bytes> {
            if (++n == 2)
                QFile::remove(link);
            return sim::Bytes{static_cast<std::uint8_t>(25 + n), static_cast<std::uint8_t>(25 + n)};
        });
        const Result r = Ctl({"--port", "COM3", "--json", "step", "size", "up", "3"});
        QCOMPARE(r.code, 3);
        QCOMPARE(r.out.count('\n'), 1);
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(o["size"].toArray(), (QJsonArray{26, 27}));
        QCOMPARE(o["number"].toInt(), 8002);

        const Result usage = Ctl({"--json", "step", "size", "down", "-3"});
        QCOMPARE(usage.code, 2);
        QCOMPARE(QJsonDocument::fromJson(usage.out.toUtf8())["error"].toString(),
                 QStringLiteral("COUNT must be a positive whole number, not -3"));
    }

    void setThatDoesNotHoldIsAMismatch()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        unit.SetFault(sim::Fault::MisStore);
        const Result r = Ctl({"--port", "COM3", "set", "size=30"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains("verify mismatch: size wrote 30, unit holds 29"), qPrintable(r.err));
    }

    // The window's program answers --version and --help without a display; so does the simulator.
    void programsAnswerWithoutADisplay()
    {
        for (const QString &program : {QStringLiteral(KV306), QStringLiteral(KV306SIM)}) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(QLatin1String(name));
            p.setProcessEnvironment(env);
            p.start(program, {QStringLiteral("--version")});
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).endsWith(QStringLiteral(" 1.1\n")));
        }
        QProcess help;
        help.start(QStringLiteral(KV306), {QStringLiteral("--help")});
        QVERIFY(help.waitForFinished(10000));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().startsWith("Usage: kv306"));
        // The window itself says there is no display and what to do, not Qt's abort.
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        window.setProcessEnvironment(env);
        window.start(QStringLiteral(KV306));
        QVERIFY(window.waitForFinished(10000));
        QCOMPARE(window.exitCode(), 1);
        const QString said = QString::fromUtf8(window.readAllStandardError());
        QVERIFY2(said.startsWith("kv306: no display to open the window on (DISPLAY is not set)") &&
                     said.contains("xvfb-run kv306"),
                 qPrintable(said));
    }

    // The simulator's requests file follows the rule of every file the tool writes: a device is
    // refused before the unit starts, never written into.
    void simulatorRequestsFileRefused()
    {
        const Result r = RunCtl({"--requests", "/dev/null"}, {}, QStringLiteral(KV306SIM));
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err,
                 QStringLiteral("kv306-sim: --requests /dev/null: /dev/null is a device (see --help)\n"));
    }

    // verify reads only: one line a unit, the differing fields named, exit 1 for a difference.
    void verifyComparesWithoutWriting()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(4);
        ports.Add(5).SetFault(sim::Fault::Silent);
        QCOMPARE(Ctl({"set", "size=30", "standard=NTSC", "--port", "COM4"}).code, 0);
        ports.Unit(4).ClearLog();
        const QString file = ports.Path() + "/p.json";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProfileText("\"horizontal\": 22, \"vertical\": 20, \"size\": 25, \"standard\": \"PAL\", "
                            "\"roundness\": 3, \"outside\": \"keep\""));
        f.close();
        const Result r = Ctl({"verify", file, "--port", "COM2", "--port", "COM4", "--port", "COM5"});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QStringLiteral("COM2: matches\n"
                                       "COM4: differs: size 30 (profile 25), standard NTSC (profile PAL)\n"
                                       "COM5: failed: no reply within 1000 ms (7 bytes expected)\n"
                                       "3 units: 1 match, 1 differ, 1 failed\n"));
        QCOMPARE(RequestFrames(ports.Unit(4)), QStringList{kRead});

        const Result ok = Ctl({"verify", file, "--port", "COM2", "--json"});
        QCOMPARE(ok.code, 0);
        const QJsonObject doc = QJsonDocument::fromJson(ok.out.toUtf8()).object();
        QCOMPARE(doc["units"][0]["result"].toString(), QStringLiteral("matches"));
        QCOMPARE(doc["units"][0]["values"]["size"].toInt(), 25);
        QCOMPARE(doc["profile"]["standard"].toString(), QStringLiteral("PAL"));
    }

    void applyWhileOthersFail()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(4).SetFault(sim::Fault::Silent);
        ports.Add(5).SetFault(sim::Fault::HangUp);  // pulled in the middle of its reply
        ports.Add(6, SimPorts::LinePace());
        const QString file = ports.Path() + "/p.json";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProfileText(kGoodValues));
        f.close();
        const QStringList args{"apply", file,     "--port", "COM2",   "--port",
                               "COM4",  "--port", "COM5",   "--port", ports.LinkPath(6)};
        const Result r = Ctl(args);
        QCOMPARE(r.code, 3);  // the worst of them: a port error
        QVERIFY(r.out.contains("COM2: applied\n"));
        QVERIFY(r.out.contains("COM4: failed: no reply within 1000 ms"));
        QVERIFY(r.out.contains("COM5: failed: error 80"));
        QVERIFY(r.out.endsWith("4 units: 2 applied, 2 failed\n"));
        for (int com : {2, 6})
            QCOMPARE(RequestFrames(ports.Unit(com)),
                     (QStringList{"55 EE 00 00 FF 01 02 03 01 00 01 00", kRead}));
        QCOMPARE(ports.Unit(6).State().params, (std::array<std::uint8_t, 6>{1, 2, 3, 1, 0, 1}));

        const Result json = Ctl(args + QStringList{"--json"});
        const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows[0]["port"].toString(), QStringLiteral("COM2"));
        QCOMPARE(rows[0]["result"].toString(), QStringLiteral("applied"));
        QCOMPARE(rows[0]["values"]["standard"].toString(), QStringLiteral("NTSC"));
        QCOMPARE(rows[1]["result"].toString(), QStringLiteral("failed"));
        QVERIFY(rows[1]["error"].toString().startsWith("no reply"));

        // Acknowledged, then silent: the unit holds new values, and that is said.
        ports.Unit(4).SetFault(sim::Fault::None);
        ports.Unit(4).SetReplyOverride([](const sim::Bytes &request) {
            return request.size() == 12 ? std::optional<sim::Bytes>(sim::Bytes{0x99}) : std::nullopt;
        });
        const Result half = Ctl({"apply", file, "--port", "COM4", "--port", "COM2"});
        QCOMPARE(half.code, 1);
        QCOMPARE(half.out,
                 QStringLiteral("COM4: written, check failed: no reply within 1000 ms (7 bytes expected)\n"
                                "COM2: applied\n2 units: 1 applied, 1 written, check failed, 0 failed\n"));
    }

    void probeOnlyReadsAndSkipsBusyPorts()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5).SetFault(sim::Fault::Silent);
        sim::SimUnit &held = ports.Add(7);
        SerialControl other;
        other.SetCommPort(7);
        other.SetPortOpen(true);
        const Result r = Ctl({"probe", "--json"});
        QCOMPARE(r.code, 0);
        const QJsonArray found = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0]["port"].toString(), QStringLiteral("COM2"));
        QCOMPARE(found[0]["horizontal"].toInt(), 22);
        // The held port is said, not taken for a port without a unit.
        QCOMPARE(found[1]["port"].toString(), QStringLiteral("COM7"));
        QCOMPARE(found[1]["number"].toInt(), 8005);
        QVERIFY2(found[1]["error"].toString().contains(
                     QStringLiteral("held by tst_ctl (process %1)").arg(QCoreApplication::applicationPid())),
                 qPrintable(found[1]["error"].toString()));
        QCOMPARE(RequestFrames(ports.Unit(5)), QStringList{kRead});
        QVERIFY(held.Received().empty());

        // Named ports only: nothing is sent to another.
        ports.Unit(2).ClearLog();
        ports.Unit(5).ClearLog();
        const Result one = Ctl({"probe", "--port", "COM5"});
        QCOMPARE(one.code, 1);
        QVERIFY(ports.Unit(2).Received().empty());
        QCOMPARE(RequestFrames(ports.Unit(5)), QStringList{kRead});
        QCOMPARE(Ctl({"ports", "--port", "COM2"}).out,
                 "COM2\t" + QString::fromStdString(ports.Unit(2).TerminalPath()) + "\tfree\n");
    }

    void probeWhereEveryPortIsRefused()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to run kv306ctl as a user outside the device's group");
        SimPorts ports;
        ::chmod(ports.Path().toLocal8Bit().constData(), 0755);
        ports.Add(2);
        QTemporaryDir bin;
        ::chmod(bin.path().toLocal8Bit().constData(), 0755);
        const QString program = bin.filePath("kv306ctl");
        QVERIFY(QFile::copy(QStringLiteral(KV306CTL), program));
        const Result r = Ctl({"probe"}, true, program);
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("COM2: not probed: error 70"), qPrintable(r.err));
    }

    void interruptedApplySaysWhereEachUnitStands_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("outputClosed");
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP: the ssh session dropped") << SIGHUP << false;
        QTest::newRow("SIGQUIT") << SIGQUIT << false;
        QTest::newRow("SIGTERM, output to a full disk") << SIGTERM << true;
    }
    void interruptedApplySaysWhereEachUnitStands()
    {
        QFETCH(int, signal);
        QFETCH(bool, outputClosed);
        SimPorts ports;
        // COM5, named first, answers last.
        ports.Add(2).SetReplyDelay(600);
        ports.Add(5).SetReplyDelay(900);
        const QString file = ports.Path() + "/line.json";
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProfileText(kGoodValues));
        f.close();
        QProcess p;
        if (outputClosed)
            p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(KV306CTL), {"apply", file, "--port", "COM5", "--port", "COM2"});
        QTRY_VERIFY_WITH_TIMEOUT(ports.Unit(2).Requests().size() == 1 && ports.Unit(5).Requests().size() == 1,
                                 5000);
        ::kill(static_cast<pid_t>(p.processId()), signal);  // while both writes await their answer
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 128 + signal);
        // Each unit once, in the order given; on standard error when standard output is gone.
        const QString out =
            QString::fromUtf8(outputClosed ? p.readAllStandardError() : p.readAllStandardOutput());
        const QString prefix = outputClosed ? QStringLiteral("kv306ctl: ") : QString();
        QVERIFY2(
            out.contains(prefix + "COM5: written, not verified\n" + prefix + "COM2: written, not verified\n"),
            qPrintable(out));
        QCOMPARE(out.count("COM2: "), 1);
        QVERIFY2(out.contains("interrupted: 2 units: 0 verified, 0 failed, 2 written, 0 not started"),
                 qPrintable(out));
        for (int com : {2, 5}) {
            // The write in flight was finished; the read-back never sent.
            QCOMPARE(RequestFrames(ports.Unit(com)), QStringList{"55 EE 00 00 FF 01 02 03 01 00 01 00"});
            QCOMPARE(ports.Unit(com).State().params[2], 3);
        }
    }

    // Every command answers SIGINT and SIGTERM whatever it waits on: a unit that never answers,
    // a server that never takes the connection, a unit that never comes, a scan that never comes.
    // All at once, each on a silent unit of its own.
    void everyCommandAnswersAStop()
    {
        const QStringList lines{"read",
                                "write horizontal=1 vertical=2 size=3 standard=PAL roundness=0 outside=keep",
                                "set size=9",
                                "toggle overlay",
                                "step size up 40",
                                "probe",
                                "apply line.json",
                                "verify line.json",
                                "station line.json --report r.csv --port COM20",
                                "station line.json --report s.csv --scan",
                                "read --port socket://"};
        SimPorts ports;
        sim::SimOptions silent = SimPorts::Instant();
        silent.fault = sim::Fault::Silent;
        QFile f(ports.Path() + "/line.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ProfileText(kGoodValues));
        f.close();
        const UnansweredPort unanswered;
        std::vector<std::unique_ptr<QProcess>> running;
        for (int i = 0; i < lines.size(); ++i) {
            QStringList args = lines[i].split(' ');
            if (args.last() == "socket://") {
                args.last() = unanswered.Url();
            } else if (!lines[i].contains("--port")) {
                ports.Add(3 + i, silent);
                args << "--port" << QStringLiteral("COM%1").arg(3 + i);
            }
            running.push_back(std::make_unique<QProcess>());
            running.back()->setWorkingDirectory(ports.Path());
            running.back()->start(QStringLiteral(KV306CTL), args);
            QVERIFY(running.back()->waitForStarted());
        }
        QTest::qWait(1000);  // every one waiting, also eleven at once under a sanitizer
        QElapsedTimer clock;
        clock.start();
        for (std::size_t i = 0; i < running.size(); ++i) {
            QVERIFY2(running[i]->state() == QProcess::Running, qPrintable(lines[int(i)]));
            ::kill(static_cast<pid_t>(running[i]->processId()), i % 2 ? SIGTERM : SIGINT);  // the two in turn
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            QVERIFY2(running[i]->waitForFinished(4000),
                     qPrintable(lines[int(i)] + " still runs 4 s after the signal"));
            QVERIFY2(running[i]->exitCode() == 128 + (i % 2 ? SIGTERM : SIGINT), qPrintable(lines[int(i)]));
        }
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    }

    void outputThatCannotBeWrittenIsAFailure()
    {
        SimPorts ports;
        ports.Add(3);
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(KV306CTL), {"read", "--port", "COM3"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 4);
        QVERIFY(p.readAllStandardError().contains("the output could not be written"));
    }

    void samePortTwice()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const Result r = Ctl({"apply", "x.json", "--port", "COM3", "--port", ports.Path() + "/COM3"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("are the same port"), qPrintable(r.err));
        QVERIFY(unit.Received().empty());
    }

    void portsTellTheirState()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to run kv306ctl as a user outside the device's group");
        SimPorts ports;
        ::chmod(ports.Path().toLocal8Bit().constData(), 0755);
        for (int com : {2, 3, 4})
            ports.Add(com);
        ::chmod(ports.Unit(2).TerminalPath().c_str(), 0666);
        ::chmod(ports.Unit(3).TerminalPath().c_str(), 0666);
        SerialControl other;
        other.SetCommPort(3);
        other.SetPortOpen(true);
        // A copy of the program where that user may run it, whatever the build folder's modes.
        QTemporaryDir bin;
        ::chmod(bin.path().toLocal8Bit().constData(), 0755);
        const QString program = bin.filePath("kv306ctl");
        QVERIFY(QFile::copy(QStringLiteral(KV306CTL), program));
        const Result r = Ctl({"ports", "--json"}, true, program);
        QCOMPARE(r.code, 0);
        const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).array();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0]["device"].toString(), QString::fromStdString(ports.Unit(2).TerminalPath()));
        QCOMPARE(list[0]["state"].toString(), QStringLiteral("free"));
        QCOMPARE(list[1]["state"].toString(), QStringLiteral("busy"));
        QCOMPARE(list[2]["state"].toString(), QStringLiteral("no permission"));
    }

    // Names in the ports folder that lead nowhere useful are listed with what is wrong.
    void portsSayWhatIsWrong()
    {
        SimPorts ports;
        const QString dir = ports.Path();
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/COM4").constData(), 0600), 0);
        QVERIFY(QFile::link(dir + "/gone", dir + "/COM5"));
        QVERIFY(QFile::link(dir + "/COM6", dir + "/COM6"));
        QCOMPARE(Ctl({"ports"}).out,
                 QStringLiteral("COM4\t%1/COM4\tnot a serial device (%1/COM4 is a named pipe)\n"
                                "COM5\t%1/COM5\tmissing (a link to %1/gone, which is not there)\n"
                                "COM6\t%1/COM6\tnot a serial device (%1/COM6 is a loop of symbolic links)\n")
                     .arg(dir));
    }

    void portFromComTxtBesideTheProgram()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(4);
        QTemporaryDir bin;
        const QString program = bin.filePath("kv306ctl");
        QVERIFY(QFile::copy(QStringLiteral(KV306CTL), program));
        const QString comTxt = bin.filePath("Com.TXT");
        QCOMPARE(Ctl({"read"}, false, program).err,
                 "kv306ctl: no --port given, and no port chosen yet (there is no " + comTxt +
                     "); try: kv306ctl ports (see kv306ctl --help)\n");
        QFile file(comTxt);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"COM21\"\r\n");
        file.close();
        const Result bad = Ctl({"read"}, false, program);
        QCOMPARE(bad.code, 2);
        QCOMPARE(bad.err, "kv306ctl: no --port given, and " + comTxt +
                              " names no port: 'COM21' is not one of COM1 to COM20; try: kv306ctl ports (see "
                              "kv306ctl --help)\n");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF\"com4\"\r\n");  // as Notepad saves it
        file.close();
        const Result r = Ctl({"toggle", "crosshair"}, false, program);
        QCOMPARE(r.code, 0);
        QCOMPARE(RequestFrames(unit).size(), 1);
    }

    // A unit pulled in the middle of a step sequence: how far it got, and that it was pulled.
    void stepsCutByAPull()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        QProcess p;
        p.start(QStringLiteral(KV306CTL), {"--port", "COM3", "step", "size", "up", "40"});
        QTRY_VERIFY_WITH_TIMEOUT(unit.Requests().size() >= 8, 5000);
        ports.Remove(3);
        QVERIFY(p.waitForFinished(10000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const auto made = QString::fromUtf8(p.readAllStandardOutput()).count('\n');
        QCOMPARE(p.exitCode(), 3);
        QVERIFY2(err.startsWith(
                     QStringLiteral("kv306ctl: COM3: the unit was pulled after %1 of 40 steps made: error ")
                         .arg(made)),
                 qPrintable(err));

        // Hung up while a reply is awaited: the device went away, in words an operator reads; a
        // port not there says where it was looked for.
        ports.Add(3).SetReplyDelay(600);
        QProcess read;
        read.start(QStringLiteral(KV306CTL), {"--port", "COM3", "read"});
        QTRY_VERIFY_WITH_TIMEOUT(ports.Unit(3).Requests().size() == 1, 5000);
        ports.Remove(3);
        QVERIFY(read.waitForFinished(10000));
        const QString hungUp = QString::fromUtf8(read.readAllStandardError());
        QVERIFY2(hungUp.contains("the device went away"), qPrintable(hungUp));
        const Result missing = Ctl({"--port", "COM3", "read"});
        QVERIFY2(missing.err.contains("COM3 was looked for in KV306_PORT_DIR (" + ports.Path() +
                                      "), which has no COM3; kv306ctl ports lists the ports there"),
                 qPrintable(missing.err));
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
