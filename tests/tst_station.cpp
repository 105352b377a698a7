// kv306ctl station against simulated units that are plugged, pulled, switched off and on while it
// runs: every unit is in the report once, with the right outcome, and a stop or a full disk
// leaves a report that says what happened.
#include "support/sim_ports.h"
#include "support/station_run.h"

#include "link/comm_error.h"
#include "link/serial_control.h"
#include "protocol/english_texts.h"
#include "protocol/station.h"
#include "protocol/station_report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");
const QString kWrite = QStringLiteral("55 EE 00 00 FF 18 12 1E 00 02 01 17");

// The report's rows below its header, each split into its fields (no field here holds a comma
// inside quotes but the outcome, which is read whole).
QList<QStringList> Rows(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines.mid(1)) {
        if (line.isEmpty())
            continue;
        const QString text = QString::fromUtf8(line);
        const int open = static_cast<int>(text.indexOf('"'));
        QStringList fields = text.left(open < 0 ? text.size() : open).split(',');
        if (open >= 0) {
            const int close = static_cast<int>(text.indexOf(QStringLiteral("\","), open + 1));
            fields.last() = text.mid(open + 1, close - open - 1);
            fields += text.mid(close + 2).split(',');
        }
        rows << fields;
    }
    return rows;
}

}  // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    // Five units pass through each of two slots, one after the other as an operator plugs them;
    // the third on COM4 mis-stores. Every unit has its row, and only that one fails.
    void tenUnitsOnTwoSlots()
    {
        SimPorts ports;
        ports.Add(3);
        ports.Add(4);
        const QString report = ports.Path() + "/report.csv";
        const QString junit = ports.Path() + "/report.xml";
        StationRun run(ports.Path(), {"--port", "COM3", "--port", "COM4", "--report", report, "--junit",
                                      junit, "--count", "10"});
        std::map<QString, int> plugged{{"COM3", 1}, {"COM4", 1}};
        QElapsedTimer clock;
        clock.start();
        while (Rows(report).size() < 10 && clock.elapsed() < 40000) {
            QTest::qWait(30);
            for (auto &[port, n] : plugged) {
                const int com = port.mid(3).toInt();
                int done = 0;
                for (const QStringList &row : Rows(report))
                    done += row.value(3) == port ? 1 : 0;
                if (done == n && n < 5 && ports.Has(com)) {
                    ports.Remove(com);  // the operator takes the unit away...
                } else if (done == n && n < 5 && run.Said(port + ": unit gone") == n) {
                    // ...and plugs the next.
                    sim::SimOptions next = SimPorts::Instant();
                    if (port == "COM4" && n + 1 == 3)
                        next.fault = sim::Fault::MisStore;
                    ports.Add(com, next);
                    ++n;
                }
            }
        }
        QCOMPARE(run.Finish(), 1);  // a unit failed
        const QList<QStringList> rows = Rows(report);
        QCOMPARE(rows.size(), 10);
        QStringList outcomes;
        for (const QStringList &row : rows) {
            QCOMPARE(row.size(), ReportHeader().split(',').size());
            if (row[6] != "pass")
                outcomes << row[3] + " " + row[6] + " size " + row[9];
        }
        QCOMPARE(outcomes,
                 QStringList{"COM4 fail: written, check failed: verify mismatch: size wrote 30, unit "
                             "holds 29 size 29"});
        QVERIFY2(run.out_.endsWith("station: 10 units: 9 pass, 1 fail, 0 error\n"), qPrintable(run.out_));
        QCOMPARE(run.out_.count(QRegularExpression("^COM[34] #([1-9]|10) pass [0-9.]+ s$",
                                                   QRegularExpression::MultilineOption)),
                 9);
        QFile xml(junit);
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QByteArray j = xml.readAll();
        QVERIFY2(j.contains("tests=\"10\" failures=\"1\" errors=\"0\""), j.constData());
        QCOMPARE(j.count("<testcase "), 10);
    }

    // A unit left plugged is one unit however long it stays, and one that falls silent for two
    // reads and answers again with the values it was given is still that unit. A unit swapped in
    // faster than the gone rule (off 1.5 s, then factory values) is the next unit, set up at once.
    // A hang-up ends the station with its summary; --json gives one object a line.
    void unitLeftPluggedCountedOnceSwappedSeen()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString report = ports.Path() + "/report.csv";
        StationRun run(ports.Path(), {"--port", "COM3", "--report", report, "--json"});
        QTRY_COMPARE_WITH_TIMEOUT(Rows(report).size(), 1, 5000);
        // Reads waited for, not time: each read after a silent one comes a reply wait later.
        const auto reads = [&unit](int n) {
            const int from = unit.Heard();
            return [&unit, from, n] { return unit.Heard() >= from + n; };
        };
        const auto some = reads(2);
        QTRY_VERIFY_WITH_TIMEOUT(some(), 3000);  // some reads while it stays
        unit.SetFault(sim::Fault::Silent);
        const auto unanswered = reads(2);
        QTRY_VERIFY_WITH_TIMEOUT(unanswered(),
                                 5000);  // two of the three reads unanswered: still the same unit
        unit.SetFault(sim::Fault::None);
        const auto again = reads(2);
        QTRY_VERIFY_WITH_TIMEOUT(again(), 3000);
        QCOMPARE(Rows(report).size(), 1);  // it answered again before the third miss
        unit.SetPowered(false);
        const auto off = reads(1);
        QTRY_VERIFY_WITH_TIMEOUT(off(), 3000);
        unit.SetPowered(true);                                    // another unit, with the factory values
        QTRY_COMPARE_WITH_TIMEOUT(Rows(report).size(), 2, 6000);  // at most some 2.3 s, on a quiet machine
        QCOMPARE(unit.State().params[2], 30);
        run.Signal(SIGHUP);
        QCOMPARE(run.Finish(), 129);
        const QStringList lines = run.out_.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(first["result"].toString(), "pass");
        QCOMPARE(first["unit"].toInt(), 1);
        QCOMPARE(first["values"].toObject()["size"].toInt(), 30);
        // Times as the report has them, with their offset from UTC.
        QVERIFY2(QRegularExpression("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}(Z|[+-][0-9]{2}:[0-9]{2})$")
                     .match(first["time"].toString())
                     .hasMatch(),
                 qPrintable(first["time"].toString()));
        QCOMPARE(QJsonDocument::fromJson(lines[2].toUtf8()).object()["summary"].toObject()["pass"].toInt(),
                 2);
    }

    // Stopped between its write and its read-back, the unit's row says so; a station started
    // again on the same report goes on counting.
    void stopMidUnit()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString report = ports.Path() + "/report.csv";
        {
            StationRun first(ports.Path(), {"--port", "COM3", "--report", report, "--once"});
            QCOMPARE(first.Finish(), 0);
        }
        unit.ClearLog();
        std::atomic<qint64> pid{0};
        unit.SetReplyOverride([&pid](const sim::Bytes &request) {
            sim::UnitState state;
            if (request.size() == 12)
                ::kill(static_cast<pid_t>(pid.load()), SIGTERM);  // while the write awaits its answer
            return sim::SimUnit::Answer(request, state);
        });
        StationRun run(ports.Path(), {"--port", "COM3", "--report", report});
        pid = run.Pid();
        QCOMPARE(run.Finish(), 143);
        QCOMPARE(RequestFrames(unit), (QStringList{kRead, kWrite}));
        const QList<QStringList> rows = Rows(report);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].mid(1, 1) + rows[1].mid(6, 1),
                 (QStringList{"2", "interrupted: written, not verified"}));
        QVERIFY2(run.out_.contains("COM3 #2 interrupted"), qPrintable(run.out_));
    }

    // Files the station writes follow the rule of every file the tool writes: what is no plain
    // file is refused, never replaced; a name that leads to the profile or to the other file is a
    // usage error; an option given twice is one. Nothing is sent and nothing named is touched.
    void outputFilesRefused_data()
    {
        QTest::addColumn<QStringList>("args");  // "@" is the test's folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("report /dev/null")
            << QStringList{"--report", "/dev/null"} << 4 << "/dev/null is a device";
        QTest::newRow("report a pipe") << QStringList{"--report", "@/fifo"} << 4 << "fifo is a named pipe";
        QTest::newRow("report a folder") << QStringList{"--report", "@"} << 4 << "is a folder";
        QTest::newRow("report no report")
            << QStringList{"--report", "@/other.csv"} << 4 << "other.csv is not a station report";
        QTest::newRow("junit a pipe")
            << QStringList{"--report", "@/r.csv", "--junit", "@/fifo"} << 4 << "fifo is a named pipe";
        QTest::newRow("junit a device")
            << QStringList{"--report", "@/r.csv", "--junit", "/dev/null"} << 4 << "/dev/null is a device";
        QTest::newRow("junit the report")
            << QStringList{"--report", "@/r.csv", "--junit", "@/./r.csv"} << 2 << "leads to the report";
        QTest::newRow("junit the profile")
            << QStringList{"--report", "@/r.csv", "--junit", "@/profile-link"} << 2 << "leads to the profile";
        QTest::newRow("report the profile")
            << QStringList{"--report", "@/line.json"} << 2 << "leads to the profile";
        QTest::newRow("report twice")
            << QStringList{"--report", "@/a.csv", "--report", "@/b.csv"} << 2 << "--report given twice";
    }
    void outputFilesRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600), 0);
        QVERIFY(QFile::link(dir + "/line.json", dir + "/profile-link"));
        QFile other(dir + "/other.csv");
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("name,value\n");
        other.close();
        args.replaceInStrings(QRegularExpression("^@"), dir);
        StationRun run(dir, QStringList{"--port", "COM3"} + args);
        QCOMPARE(run.Finish(), code);
        QVERIFY2(run.Err().contains(said), qPrintable(run.Err()));
        QCOMPARE(RequestFrames(unit), QStringList());
        QVERIFY(QFileInfo(dir + "/fifo").isFile() == false && QFileInfo::exists(dir + "/fifo"));
        QCOMPARE(QFileInfo(dir + "/profile-link").symLinkTarget(), dir + "/line.json");
        QFile profile(dir + "/line.json");
        QVERIFY(profile.open(QIODevice::ReadOnly));
        QCOMPARE(profile.readAll(), kProfile);
        QCOMPARE(QFileInfo(dir + "/other.csv").size(), 11);
    }

    // A dry run says what would be sent and where each file would go, names what is not there
    // now, and opens nothing; --junit is written only once a unit has its result.
    void dryRunAndJUnitOnlyWithAResult()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        StationRun dry(dir, {"--port", "COM3", "--port", "COM4", "--report", dir + "/r.csv", "--junit",
                             dir + "/gone/r.xml", "--dry-run"});
        QCOMPARE(dry.Finish(), 0);
        QVERIFY2(dry.out_.contains(kWrite) && dry.out_.contains(kRead), qPrintable(dry.out_));
        QVERIFY2(dry.out_.contains(dir + "/COM4, not there now)"), qPrintable(dry.out_));
        QVERIFY2(dry.out_.contains("appended to " + dir + "/r.csv\n"), qPrintable(dry.out_));
        QVERIFY2(dry.out_.contains("JUnit file " + dir +
                                   "/gone/r.xml would be rewritten whole after each unit, "
                                   "but its folder " +
                                   dir + "/gone does not exist"),
                 qPrintable(dry.out_));
        QProcess apply;
        apply.start(QStringLiteral(KV306CTL),
                    {"apply", dir + "/line.json", "--port", "COM3", "--dry-run", "--json"});
        QVERIFY(apply.waitForFinished());
        const QJsonObject o = QJsonDocument::fromJson(apply.readAllStandardOutput()).object();
        QCOMPARE(o["ports"].toArray().at(0).toObject()["frames"].toArray().toVariantList(),
                 (QVariantList{kWrite, kRead}));
        QVERIFY(!QFile::exists(dir + "/r.csv"));
        QCOMPARE(RequestFrames(unit), QStringList());

        StationRun waiting(dir, {"--port", "COM4", "--report", dir + "/r.csv", "--junit", dir + "/r.xml"});
        QTRY_VERIFY_WITH_TIMEOUT(waiting.Err().contains("COM4: no port yet"), 5000);
        waiting.Signal(SIGTERM);
        QCOMPARE(waiting.Finish(), 143);
        QVERIFY(!QFile::exists(dir + "/r.xml"));
    }

    // A full disk: the row the disk refuses half-way is cut back (the next reader counts no
    // fragment as a unit), the message has the system's reason, and --json says it in the unit's
    // line and in the summary. The disk is a small tmpfs of a mount namespace of the test's own.
    void fullDiskRowWholeOrNotAtAll()
    {
        if (QProcess::execute("unshare", {"-rm", "true"}) != 0)
            QSKIP("no mount namespace to make a full disk in");
        SimPorts ports;
        ports.Add(3);
        const QString dir = ports.Path();
        StationRun(dir, {"--dry-run", "--port", "COM3", "--report", dir + "/x"})
            .Finish();  // writes line.json
        // The report ends 8 bytes before a page's end, and every other page is taken.
        const QString script = R"sh(
            set -e
            mount -t tmpfs -o size=32k tmpfs "$DIR/disk"
            printf '%s\n' "$HEADER" > "$DIR/disk/r.csv"
            head -c $((4096 - 8 - ${#HEADER} - 2)) /dev/zero | tr '\0' 'x' >> "$DIR/disk/r.csv"
            echo >> "$DIR/disk/r.csv"
            dd if=/dev/zero of="$DIR/disk/filler" bs=4096 2>/dev/null || true
            before=$(stat -c %s "$DIR/disk/r.csv")
            set +e
            "$CTL" station "$DIR/line.json" --port COM3 --report "$DIR/disk/r.csv" --once $JSON
            code=$?
            echo "code=$code size=$before/$(stat -c %s "$DIR/disk/r.csv")" >&2
        )sh";
        for (const QString &json : {QString(), QStringLiteral("--json")}) {
            QDir(dir).mkpath("disk");
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DIR", dir);
            env.insert("CTL", KV306CTL);
            env.insert("JSON", json);
            env.insert("HEADER",
                       "time,unit,slot,port,device,serial,outcome,horizontal,vertical,size,standard,"
                       "roundness,outside,seconds");
            p.setProcessEnvironment(env);
            p.start("unshare", {"-rm", "bash", "-c", script});
            QVERIFY(p.waitForFinished(20000));
            const QString out = QString::fromUtf8(p.readAllStandardOutput());
            const QString err = QString::fromUtf8(p.readAllStandardError());
            QVERIFY2(err.contains("code=4 size=4088/4088"), qPrintable(err));
            QVERIFY2(err.contains("r.csv: No space left on device"), qPrintable(err));
            if (json.isEmpty())
                continue;
            const QStringList lines = out.trimmed().split('\n');
            QCOMPARE(lines.size(), 2);
            QVERIFY2(QJsonDocument::fromJson(lines[0].toUtf8())
                         .object()["reportError"]
                         .toString()
                         .contains("No space left on device"),
                     qPrintable(lines[0]));
            QVERIFY2(QJsonDocument::fromJson(lines[1].toUtf8())
                         .object()["summary"]
                         .toObject()["reportError"]
                         .toString()
                         .contains("No space left on device"),
                     qPrintable(lines[1]));
        }
        // The JUnit file on the full disk, the report beside it: the failed write is said and the
        // station stops, as for the report.
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DIR", dir);
        env.insert("CTL", KV306CTL);
        p.setProcessEnvironment(env);
        p.start("unshare", {"-rm", "bash", "-c", R"sh(
            mount -t tmpfs -o size=32k tmpfs "$DIR/disk"
            dd if=/dev/zero of="$DIR/disk/filler" bs=4096 2>/dev/null
            "$CTL" station "$DIR/line.json" --port COM3 --report "$DIR/j.csv" --junit "$DIR/disk/r.xml" --once
            echo "code=$?" >&2
        )sh"});
        QVERIFY(p.waitForFinished(20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains("code=4") && err.contains("r.xml: No space left on device"), qPrintable(err));
    }

    // Two names that lead to one device are one port: at the start when both links lead to one
    // path, and, when they lead to two paths that become one device later, the second slot sets
    // up nothing. Another station on a port sets up nothing on it and says who holds it, and a
    // port another program holds for a while is no unanswered read: the unit is not taken again.
    void oneDeviceOneSlot()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        QVERIFY(QFile::link(dir + "/x", dir + "/a"));
        QVERIFY(QFile::link(dir + "/x", dir + "/c"));
        QVERIFY(QFile::link(dir + "/y", dir + "/b"));
        StationRun same(dir, {"--port", dir + "/a", "--port", dir + "/c", "--report", dir + "/r.csv"});
        QCOMPARE(same.Finish(), 2);
        QVERIFY2(same.Err().contains(" are the same port"), qPrintable(same.Err()));

        StationRun run(dir, {"--port", dir + "/a", "--port", dir + "/b", "--report", dir + "/r.csv"});
        QTRY_VERIFY_WITH_TIMEOUT(run.Err().count("no port yet") == 2, 5000);
        const QString terminal = QString::fromStdString(unit.TerminalPath());
        QVERIFY(QFile::link(terminal, dir + "/x") && QFile::link(terminal, dir + "/y"));
        QTRY_COMPARE_WITH_TIMEOUT(Rows(dir + "/r.csv").size(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(run.Err().contains("is the same device as " + dir + "/"), 5000);

        StationRun second(dir, {"--port", "COM3", "--report", dir + "/r2.csv"});
        QTRY_VERIFY2_WITH_TIMEOUT(
            second.Err().contains(QRegularExpression(
                "COM3: busy \\(another station is using it: kv306ctl \\(process [0-9]+\\)\\)")),
            qPrintable(second.Err()), 5000);
        {
            SerialControl holder;  // another program, for longer than three reads
            holder.SetPort(*PortRef::Read(terminal));
            // Opened between two of the station's reads: while one is in flight the port is its.
            const auto open = [&holder] {
                try {
                    holder.SetPortOpen(true);
                    return true;
                } catch (const CommError &) {
                    return false;
                }
            };
            QElapsedTimer trying;
            trying.start();
            while (!open() && trying.elapsed() < 5000)
                QTest::qWait(20);
            QVERIFY(holder.PortOpen());
            const int before = unit.Heard();
            QTest::qWait((Station::kGoneAfterMisses + 2) * Station::kStayLookMs);
            QCOMPARE(unit.Heard(), before);  // nobody else could read meanwhile
        }
        const int heard = unit.Heard();
        QTRY_VERIFY_WITH_TIMEOUT(unit.Heard() >= heard + 2, 5000);  // read again, and answered
        second.Signal(SIGTERM);
        QCOMPARE(second.Finish(), 143);
        QCOMPARE(Rows(dir + "/r2.csv").size(), 0);
        QCOMPARE(Rows(dir + "/r.csv").size(), 1);
        QCOMPARE(run.Err().count(": unit present"), 1);
        run.Signal(SIGTERM);
        QCOMPARE(run.Finish(), 143);
    }

    // --count ends the station after that many units however many slots wait; a port that can
    // never be a serial port ends it with a port error instead of waiting for ever.
    void countAndNeverAPort_data()
    {
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("said");
        QTest::newRow("count on two slots") << QStringList{"COM3", "COM4"} << 0 << 2 << "2 units: 2 pass";
        QTest::newRow("a plain file") << QStringList{"@/plain"} << 3 << 0 << "plain is a plain file";
        QTest::newRow("/dev/null") << QStringList{"COM3", "/dev/null"} << 3 << -1
                                   << "can never be a serial port";
    }
    void countAndNeverAPort()
    {
        QFETCH(QStringList, ports);
        QFETCH(int, code);
        QFETCH(int, rows);
        QFETCH(QString, said);
        SimPorts sims;
        sims.Add(3);
        sims.Add(4);
        QFile plain(sims.Path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QStringList args{"--report", sims.Path() + "/r.csv", "--count", "2"};
        for (const QString &port : ports)
            args << "--port" << QString(port).replace("@", sims.Path());
        StationRun run(sims.Path(), args);
        QCOMPARE(run.Finish(), code);
        QVERIFY2((run.out_ + run.Err()).contains(said), qPrintable(run.out_ + run.Err()));
        if (rows >= 0)
            QCOMPARE(Rows(sims.Path() + "/r.csv").size(), rows);
    }

    // A relative name is the path from the current folder everywhere: the device opened, the
    // same-port check and the report's device column.
    void relativeNames()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        const QString terminal = QString::fromStdString(unit.TerminalPath());
        QVERIFY(QDir(dir).mkdir("sub") && QFile::link(terminal, dir + "/sub/COM3"));
        qputenv("KV306_PORT_DIR", "sub");
        StationRun same(dir, {"--port", "COM3", "--port", "sub/COM3", "--report", "r.csv"}, {}, dir);
        QCOMPARE(same.Finish(), 2);
        StationRun run(dir, {"--port", "sub/COM3", "--report", "r.csv", "--once"}, {}, dir);
        QCOMPARE(run.Finish(), 0);
        StationRun byNumber(dir, {"--port", "COM3", "--report", "r.csv", "--once"}, {}, dir);
        QCOMPARE(byNumber.Finish(), 0);
        qputenv("KV306_PORT_DIR", dir.toLocal8Bit());
        const QList<QStringList> rows = Rows(dir + "/r.csv");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][3] + " " + rows[0][4], "sub/COM3 " + terminal);
        QCOMPARE(rows[1][3] + " " + rows[1][4], "COM3 " + terminal);
    }

    // Unit numbers count the report's rows as a CSV reader does, go on from a header without its
    // line break, and stay unique when two stations append to one report at once; closed
    // standard streams put nothing of the console into it.
    void numberingOverOneReport()
    {
        sim::SimOptions cycling = SimPorts::Instant();
        cycling.powerCycleMs = 700;  // a new unit every 1.4 s
        SimPorts ports;
        ports.Add(3, cycling);
        ports.Add(4, cycling);
        const QString dir = ports.Path();
        const QByteArray header = ReportHeader(1);  // a report of the first format, continued as it is
        QFile report(dir + "/r.csv");
        QVERIFY(report.open(QIODevice::WriteOnly));
        report.write(header +
                     "\n2026-12-01T08:00:00.000+01:00,1,1,COM3,/dev/ttyUSB0,,\"fail: first\nsecond\","
                     ",,,,,,1.000\n");
        report.close();
        StationRun a(dir, {"--port", "COM3", "--report", dir + "/r.csv", "--count", "3"}, "<&- >&- 2>&-");
        StationRun b(dir, {"--port", "COM4", "--report", dir + "/r.csv", "--count", "3"});
        // A unit switched off half-way through its set-up fails: the numbers are what counts here.
        QVERIFY(a.Finish() <= 1);
        QVERIFY(b.Finish() <= 1);
        QStringList units;
        for (const QStringList &row : Rows(dir + "/r.csv").mid(2))  // the first row spans two lines
            units << row[1];
        units.sort();
        QCOMPARE(units, (QStringList{"2", "3", "4", "5", "6", "7"}));

        QVERIFY(report.open(QIODevice::WriteOnly | QIODevice::Truncate));
        report.write(header);
        report.close();
        ports.Add(5);
        StationRun once(dir, {"--port", "COM5", "--report", dir + "/r.csv", "--once"});
        QCOMPARE(once.Finish(), 0);
        QVERIFY(report.open(QIODevice::ReadOnly));
        QVERIFY(report.readAll().startsWith(header + "\n"));
        QCOMPARE(Rows(dir + "/r.csv").value(0).value(1), "1");
    }

    // A report deleted while the station runs is noticed before the next row: no row is synced
    // into a file nobody can see.
    void reportDeleted()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        StationRun run(dir, {"--port", "COM3", "--report", dir + "/r.csv"});
        QTRY_COMPARE_WITH_TIMEOUT(Rows(dir + "/r.csv").size(), 1, 5000);
        QVERIFY(QFile::remove(dir + "/r.csv"));
        unit.SetPowered(false);
        QTest::qWait(300);
        unit.SetPowered(true);
        QCOMPARE(run.Finish(), 4);
        QVERIFY2(run.Err().contains("r.csv was deleted or moved away"), qPrintable(run.Err()));
        QVERIFY2(run.out_.contains("COM3 #2 pass"), qPrintable(run.out_));
    }

    // With --once, a slot without a unit counts in the summary as in the exit code; with standard
    // output gone, the JSON lines and the summary go to standard error, each "no unit" with the
    // serial error's number.
    void onceWithAnEmptySlot()
    {
        SimPorts ports;
        ports.Add(3);
        const QString dir = ports.Path();
        StationRun text(dir, {"--port", "COM3", "--port", "COM4", "--report", dir + "/r.csv", "--once"});
        QCOMPARE(text.Finish(), 3);
        QVERIFY2(text.out_.endsWith("station: 2 units: 1 pass, 0 fail, 1 error (1 slot without a unit)\n"),
                 qPrintable(text.out_));
        StationRun json(dir,
                        {"--port", "COM3", "--port", "COM4", "--report", dir + "/r.csv", "--once", "--json"},
                        ">/dev/full");
        QCOMPARE(json.Finish(), 4);
        QStringList lines;
        for (const QString &line : json.Err().split('\n')) {
            if (line.startsWith('{'))
                lines << line;
        }
        QCOMPARE(lines.size(), 3);
        QJsonObject noUnit;
        for (const QString &line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            if (o["result"] == "no unit")
                noUnit = o;
        }
        QCOMPARE(noUnit["number"].toInt(), 8002);
        const QJsonObject summary =
            QJsonDocument::fromJson(lines.last().toUtf8()).object()["summary"].toObject();
        QCOMPARE(summary["units"].toInt(), 2);
        QCOMPARE(summary["noUnit"].toInt(), 1);
    }

    // The report is one format whoever writes its rows: the station makes its outcomes in
    // English on its slot's thread even in a window that speaks Chinese (no translation is
    // installed here), and leaves the window's own thread in Chinese.
    void reportInOneLanguage()
    {
        Station station({}, nullptr);  // makes English ready
        QString onSlot;
        std::unique_ptr<QThread> slot(QThread::create([&onSlot] {
            const EnglishTexts english;
            onSlot = CommErrorText(8002);
        }));
        slot->start();
        slot->wait();
        QCOMPARE(onSlot, QStringLiteral("This port does not exist!"));
        QCOMPARE(CommErrorText(8002), QStringLiteral("该串口不存在！"));
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
