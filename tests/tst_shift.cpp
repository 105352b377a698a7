// A line supervisor's station: units named by their scanned serial numbers, who ran it and which
// lot in every row, and the shift's figures read back from the report.
#include "support/ctl_run.h"
#include "support/json.h"
#include "support/sim_ports.h"
#include "support/station_run.h"

#include "protocol/csv.h"
#include "protocol/report_figures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

// The report's rows, each by its columns' names.
QList<std::map<QByteArray, QString>> ReportRows(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    CsvReader reader;
    std::vector<CsvReader::Record> records;
    reader.Feed(f.readAll(), &records);
    QList<std::map<QByteArray, QString>> rows;
    for (std::size_t r = 1; r < records.size(); ++r) {
        std::map<QByteArray, QString> row;
        for (qsizetype i = 0; i < records[r].fields.size(); ++i)
            row[records[0].fields.value(i)] = QString::fromUtf8(records[r].fields[i]);
        rows << row;
    }
    return rows;
}

// kv306ctl report, its exit code, standard output and standard error.
using ReportRun = CtlRun;
CtlRun Ctl(const QStringList &args)
{
    return RunCtl(args);
}
ReportRun Report(const QStringList &args)
{
    return Ctl(QStringList{"report"} + args);
}

// A report with a known mix, a row every ten minutes from 08:00 to 09:00 (two at 09:00): units
// SN1 to SN5 and one without a serial number; SN2 fails, then passes; SN4 is interrupted, then
// passes; SN3 meets a missing port. In the second format its failures are told by the outcome's
// words; in the third by the reason's token, under outcome words that say something else.
QByteArray KnownMix(int format = 2)
{
    const char *const reasons[] = {"", "verify-mismatch", "error-8002", "", "interrupted", "",
                                   "", "no-reply"};
    int r = 0;
    const char *const rows[] = {
        "08:00,1,1,COM3,pass,SN1,,ann,L1",
        "08:10,2,2,COM4,\"fail: verify mismatch: size 29, not 30\",SN2,,ann,L1",
        "08:20,3,1,COM3,error: error 8002: This port does not exist!,SN3,,bob,L1",
        "08:30,4,2,COM4,pass,SN2,2,ann,L1",
        "08:40,5,1,COM3,\"interrupted: written, not verified\",SN4,,bob,L2",
        "08:50,6,1,COM3,pass,SN4,5,bob,L2",
        "09:00,7,2,COM4,pass,SN5,,ann,L2",
        "09:00,8,2,COM4,fail: no reply,,,ann,L2",
    };
    QByteArray text = ReportHeader(format) + '\n';
    for (const char *row : rows) {
        // time,unit,slot,port + device,adapter_serial + outcome + six values,seconds + serial,
        // again,operator,lot + profile,target,host,version
        QList<QByteArray> f = QByteArray(row).split(',');
        const QByteArray at = "2026-12-08T" + f.takeFirst() + ":00.000+01:00";
        const QByteArray head = at + ',' + f[0] + ',' + f[1] + ',' + f[2] + ",/dev/ttyUSB0,A1,";
        const QByteArray tail = QList<QByteArray>(f.end() - 4, f.end()).join(',');
        QByteArray outcome = QList<QByteArray>(f.begin() + 3, f.end() - 4).join(',');
        const QByteArray reason = reasons[r++];
        if (format >= 3 && !reason.isEmpty())
            outcome = outcome.mid(outcome.startsWith('"') ? 1 : 0).split(':').first() + ": reworded since";
        text += head + outcome + ",24,18,30,PAL,2,remove,1.200," + tail +
                ",line.json,horizontal=24 vertical=18 size=30 standard=PAL roundness=2 outside=remove,"
                "bench1,1.1" +
                (format >= 3 ? ',' + reason : QByteArray()) + '\n';
    }
    return text;
}

}  // namespace

class TestShift : public QObject {
    Q_OBJECT
private slots:
    // Two slots and scans piped in: a scan naming its slot goes there, one that names none goes
    // to the first slot whose unit waits for one; bad scans are refused and the unit waits; a
    // serial number scanned again is set up again and says which row came before. Every row
    // carries who, which lot, what it was checked against and by what; the JUnit cases are named
    // by the serial numbers.
    void scansNameTheUnits()
    {
        SimPorts ports;
        ports.Add(3);
        ports.Add(4);
        const QString dir = ports.Path();
        StationRun run(dir, {"--port", "COM3", "--port", "COM4", "--scan", "--report", dir + "/r.csv",
                             "--junit", dir + "/r.xml", "--operator", "Ann Lee", "--lot", "L-7"});
        const QString waits = QStringLiteral(": unit present, waiting for its serial number");
        QTRY_VERIFY_WITH_TIMEOUT(run.Said("COM3" + waits) == 1 && run.Said("COM4" + waits) == 1, 5000);
        run.Type("\n" + QByteArray(65, 'x') +
                 "\nSN\x01"
                 "7\n=HYPERLINK(\"http://x\")\nCOM9 SN9\nCOM4 SN-B1\nSN-A1\n");
        QTRY_COMPARE_WITH_TIMEOUT(ReportRows(dir + "/r.csv").size(), 2, 10000);
        // Both units are still there, set up: each keeps its serial number until it leaves, and
        // a scan now waits for the next unit (COM3's, taken away and another put in).
        const QString setUp = QStringLiteral(": unit set up, waiting for it to be taken away");
        QTRY_VERIFY_WITH_TIMEOUT(run.Said("COM3" + setUp) == 1 && run.Said("COM4" + setUp) == 1, 5000);
        run.Type("SN-A1\n");
        QTest::qWait(600);
        QCOMPARE(ReportRows(dir + "/r.csv").size(), 2);
        ports.Unit(3).SetPowered(false);
        QTRY_COMPARE_WITH_TIMEOUT(run.Said("COM3: unit gone"), 1, 10000);
        ports.Unit(3).SetPowered(true);
        QTRY_COMPARE_WITH_TIMEOUT(ReportRows(dir + "/r.csv").size(), 3, 10000);
        QCOMPARE(run.Said("COM3" + waits), 2);
        QCOMPARE(run.Said("COM4" + waits), 1);
        run.EndInput();  // no more scans: the slots end
        QCOMPARE(run.Finish(), 0);

        const QString err = run.Err();
        for (const char *refusal :
             {"scan '' refused: the scanned serial number is empty; scan again",
              "refused: longer than 64 characters; scan again",
              "refused: holds control characters; scan again",
              "refused: begins with =, which a spreadsheet would take for a formula; scan again",
              "scan 'COM9 SN9' refused: COM9 is not one of this station's ports; scan again"})
            QVERIFY2(err.contains(refusal), qPrintable(err));

        const auto rows = ReportRows(dir + "/r.csv");
        std::map<QString, QString> portOf;
        for (const auto &row : rows) {
            QCOMPARE(row.at("outcome"), "pass");
            QCOMPARE(row.at("operator"), "Ann Lee");
            QCOMPARE(row.at("lot"), "L-7");
            QCOMPARE(row.at("profile"), "line.json");
            QCOMPARE(row.at("target"),
                     "horizontal=24 vertical=18 size=30 standard=PAL roundness=2 outside=remove");
            QCOMPARE(row.at("host"), QSysInfo::machineHostName());
            QCOMPARE(row.at("version"), "1.1");
            portOf[row.at("serial")] += row.at("port");
        }
        QCOMPARE(portOf, (std::map<QString, QString>{{"SN-A1", "COM3COM3"}, {"SN-B1", "COM4"}}));
        QCOMPARE(rows[2].at("again"),
                 rows[0].at("serial") == "SN-A1" ? rows[0].at("unit") : rows[1].at("unit"));
        QVERIFY2(
            run.out_.contains(QStringLiteral("[SN-A1, set up before as #%1]\n").arg(rows[2].at("again"))),
            qPrintable(run.out_));

        QFile junit(dir + "/r.xml");
        QVERIFY(junit.open(QIODevice::ReadOnly));
        const QByteArray xml = junit.readAll();
        QVERIFY2(xml.contains("name=\"SN-B1 (unit ") && xml.count("name=\"SN-A1 (unit ") == 2,
                 xml.constData());

        // An operator a spreadsheet would run is refused before anything is written.
        const ReportRun formula = Ctl({"station", dir + "/line.json", "--port", "COM3", "--operator",
                                       "@SUM(A1)", "--report", dir + "/f.csv"});
        QCOMPARE(formula.code, 2);
        QVERIFY2(formula.err.contains("--operator '@SUM(A1)': begins with @"), qPrintable(formula.err));
        QVERIFY(!QFile::exists(dir + "/f.csv"));
    }

    // A scan for a slot whose unit is not there yet waits for it; the other slot, whose unit is
    // there with no scan for it and none to come, ends and is named: the station did not do all
    // there was to do. A report of the first format is continued as it was without scans, and
    // refused with them.
    void scanWaitsForItsUnit()
    {
        SimPorts ports;
        ports.Add(3);
        const QString dir = ports.Path();
        StationRun run(dir, {"--port", "COM3", "--port", "COM5", "--scan", "--report", dir + "/r.csv"});
        run.Type("COM5 SN-C1\n");
        run.EndInput();
        QTest::qWait(1500);
        QVERIFY(ReportRows(dir + "/r.csv").isEmpty());
        ports.Add(5);
        const int code = run.Finish();
        QVERIFY2(code == 1, qPrintable(run.Err() + run.out_));
        QVERIFY2(run.Err().contains("COM3: a unit is there that was never scanned, so it was not set up"),
                 qPrintable(run.Err()));
        const auto rows = ReportRows(dir + "/r.csv");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].at("port"), "COM5");
        QCOMPARE(rows[0].at("serial"), "SN-C1");

        QFile first(dir + "/first.csv");
        QVERIFY(first.open(QIODevice::WriteOnly));
        first.write(ReportHeader(1) + '\n');
        first.close();
        StationRun plain(dir, {"--port", "COM3", "--report", first.fileName(), "--once"});
        QCOMPARE(plain.Finish(), 0);
        QCOMPARE(ReportRows(first.fileName()).value(0).size(), std::size_t(14));
        StationRun scanned(dir, {"--port", "COM3", "--report", first.fileName(), "--once", "--scan"});
        QCOMPARE(scanned.Finish(), 4);
        QVERIFY2(scanned.Err().contains("first format"), qPrintable(scanned.Err()));
    }

    // One slot fed from a file: the lines queue, one a unit, in order. A unit taken away while
    // it waits for its scan, or after, leaves the serial number for the next unit, and a scan of
    // bytes that are no UTF-8 text is refused, as control characters are.
    void scansQueueForTheirUnits()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString dir = ports.Path();
        StationRun run(dir, {"--port", "COM3", "--scan", "--report", dir + "/r.csv"});
        QTRY_COMPARE_WITH_TIMEOUT(run.Said("COM3: unit present, waiting for its serial number"), 1, 5000);
        unit.SetPowered(false);
        QTRY_COMPARE_WITH_TIMEOUT(run.Said("COM3: unit gone"), 1, 10000);
        run.Type("SN\xFF\xFE"
                 "1\nSN-1\nSN-2\nSN-3\n");
        run.EndInput();
        QTest::qWait(600);
        QVERIFY(ReportRows(dir + "/r.csv").isEmpty());
        for (int n = 1; n <= 3; ++n) {
            unit.SetPowered(true);
            QTRY_COMPARE_WITH_TIMEOUT(ReportRows(dir + "/r.csv").size(), n, 10000);
            unit.SetPowered(false);
        }
        QCOMPARE(run.Finish(), 0);
        QVERIFY2(run.Err().contains("refused: holds bytes that are not UTF-8 text; scan again"),
                 qPrintable(run.Err()));
        QStringList serials;
        for (const auto &row : ReportRows(dir + "/r.csv")) {
            QCOMPARE(row.at("outcome"), "pass");
            serials << row.at("serial");
        }
        QCOMPARE(serials, (QStringList{"SN-1", "SN-2", "SN-3"}));
    }

    // What cannot be what it is named for is refused before anything is read or any unit set
    // up, at once: a named pipe for a report to read (its open would wait for ever) or for a JUnit
    // file, a report that standard output or error goes to, times that cannot be.
    void refusedAtOnce_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("report of a pipe") << "report pipe" << 2 << "pipe is a named pipe";
        QTest::newRow("JUnit file a pipe")
            << "station line.json --port COM3 --once --report r.csv --junit pipe" << 4
            << "JUnit file pipe is a named pipe";
        QTest::newRow("output into the report")
            << "station line.json --port COM3 --once --report r.csv >>r.csv" << 2
            << "--report r.csv is where standard output goes";
        QTest::newRow("errors into the JUnit file")
            << "station line.json --port COM3 --once --report r.csv --junit r.xml 2>>r.xml" << 2
            << "--junit r.xml is where standard error goes";
        QTest::newRow("since after until") << "report r.csv --since 2026-12-09 --until 2026-12-08" << 2
                                           << "--since 2026-12-09 is later than --until 2026-12-08";
        QTest::newRow("an offset of 99 hours")
            << "report r.csv --since 2026-12-08T06:00+99:00" << 2 << "--since needs an ISO 8601 time";
    }
    void refusedAtOnce()
    {
        QFETCH(QString, line);
        QFETCH(int, code);
        QFETCH(QString, said);
        SimPorts ports;
        ports.Add(3);
        const QString dir = ports.Path();
        StationRun(dir, {"--dry-run", "--port", "COM3", "--report", dir + "/x"}).Finish();  // line.json
        QVERIFY(QProcess::execute("mkfifo", {dir + "/pipe"}) == 0);
        QFile(dir + "/r.csv").open(QIODevice::WriteOnly);
        QFile(dir + "/r.xml").open(QIODevice::WriteOnly);
        const CtlRun r = RunCtl(
            {"-c", QStringLiteral("exec \"$0\" ") + line, KV306CTL},
            [&dir](QProcess &p) { p.setWorkingDirectory(dir); }, "bash");
        QCOMPARE(r.code, code);
        QFile xml(dir + "/r.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        QVERIFY2((r.err + QString::fromUtf8(xml.readAll())).contains(said), qPrintable(r.err));
        QVERIFY2(r.ms < 5000, qPrintable(QString::number(r.ms)));
        QCOMPARE(ReportRows(dir + "/r.csv").size(), 0);
    }

    // The shift's figures from a report with a known mix, counted by hand: 8 set-ups of 6 units
    // (SN1-SN5 and one without a serial number); passes 1, 4, 6, 7; first set-ups passed by SN1 and
    // SN5 only: 2 of 6, 33.3%; SN2 and SN4 set up twice; 8 units over the hour.
    void figuresOfAKnownMix()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("shift.csv");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(KnownMix());
        f.close();

        const ReportRun text = Report({path});
        QCOMPARE(text.code, 0);
        const char *const figures =
            "  8 units: 4 pass, 2 fail, 1 error, 1 interrupted; first-pass yield 33.3% (2 of 6 "
            "new units); 2 set up more than once; 8.0 units/h; failures: error 8002 1, "
            "interrupted 1, no reply 1, verify mismatch 1\n";
        QVERIFY2(text.out.contains(figures), qPrintable(text.out));
        // The same rows with a reason column: counted by it, whatever the outcome's words say.
        QFile reasoned(dir.filePath("reasoned.csv"));
        QVERIFY(reasoned.open(QIODevice::WriteOnly));
        reasoned.write(KnownMix(3));
        reasoned.close();
        const ReportRun byReason = Report({reasoned.fileName()});
        QVERIFY2(byReason.code == 0 && byReason.out.contains(figures),
                 qPrintable(byReason.out + byReason.err));

        const QJsonObject all = JsonOf(Report({path, "--json"}).out);
        const QJsonObject whole = all["all"].toObject();
        QCOMPARE(whole["units"].toInt(), 8);
        QCOMPARE(whole["newUnits"].toInt(), 6);
        QCOMPARE(whole["firstPass"].toInt(), 2);
        QCOMPARE(whole["setUpAgain"].toInt(), 2);
        QCOMPARE(whole["perHour"].toDouble(), 8.0);
        QCOMPARE(whole["failures"].toObject()["verify mismatch"].toInt(), 1);
        // ann: rows 1, 2, 4, 7, 8 (SN1, SN2 twice, SN5, none); bob: rows 3, 5, 6 (SN3, SN4 twice).
        const QJsonObject ann = all["operators"].toObject()["ann"].toObject();
        const QJsonObject bob = all["operators"].toObject()["bob"].toObject();
        QCOMPARE((QList<int>{ann["units"].toInt(), ann["pass"].toInt(), ann["newUnits"].toInt(),
                             ann["firstPass"].toInt(), ann["setUpAgain"].toInt()}),
                 (QList<int>{5, 3, 4, 2, 1}));
        QCOMPARE((QList<int>{bob["units"].toInt(), bob["pass"].toInt(), bob["newUnits"].toInt(),
                             bob["firstPass"].toInt(), bob["setUpAgain"].toInt()}),
                 (QList<int>{3, 1, 2, 0, 1}));
        const QJsonObject com4 = all["slots"].toObject()["COM4"].toObject();
        QCOMPARE((QList<int>{com4["units"].toInt(), com4["pass"].toInt(), com4["fail"].toInt(),
                             com4["newUnits"].toInt(), com4["firstPass"].toInt()}),
                 (QList<int>{4, 2, 2, 3, 1}));
        QCOMPARE(all["lots"].toObject()["L2"].toObject()["units"].toInt(), 4);

        // From 08:45 to 09:00: SN4's second set-up (its first came before), SN5 and the unit
        // without a serial number: 3 units, 1 of 2 new ones passed first, 18 an hour.
        const QJsonObject late = JsonOf(Report({path, "--since", "2026-12-08T08:45+01:00", "--until",
                                                "2026-12-08T09:00+01:00", "--json"})
                                            .out)["all"]
                                     .toObject();
        QCOMPARE((QList<int>{late["units"].toInt(), late["newUnits"].toInt(), late["firstPass"].toInt(),
                             late["setUpAgain"].toInt()}),
                 (QList<int>{3, 2, 1, 1}));
        QCOMPARE(late["perHour"].toDouble(), 18.0);
    }

    // Reading is as strict as writing: a file that is no report is refused; a row that cannot
    // be read is named by its line, left out of the figures, and the exit says so.
    void damagedReports()
    {
        QTemporaryDir dir;
        const auto write = [&dir](const char *name, const QByteArray &text) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(text);
            return f.fileName();
        };
        const ReportRun notReport = Report({write("notes.csv", "name,phone\nann,1234\n")});
        QCOMPARE(notReport.code, 2);
        QVERIFY2(notReport.err.contains("is not a station report"), qPrintable(notReport.err));
        QVERIFY(notReport.out.isEmpty());

        QByteArray mix = KnownMix();
        // Line 4 cut short by a power cut, line 7's time edited by hand.
        QList<QByteArray> lines = mix.split('\n');
        lines[3] = lines[3].left(40);
        lines[6].replace("2026-12-08T", "08/12/2026 ");
        const ReportRun damaged = Report({write("damaged.csv", lines.join('\n')), "--json"});
        QCOMPARE(damaged.code, 2);
        QVERIFY2(damaged.err.contains(
                     "line 4 cannot be read, left out: it has 5 fields where the header names 22"),
                 qPrintable(damaged.err));
        QVERIFY2(damaged.err.contains("line 7 cannot be read, left out: its time '08/12/2026"),
                 qPrintable(damaged.err));
        const QJsonObject o = JsonOf(damaged.out);
        QCOMPARE(o["all"].toObject()["units"].toInt(), 6);
        QCOMPARE(o["unreadable"].toArray().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestShift)
#include "tst_shift.moc"
