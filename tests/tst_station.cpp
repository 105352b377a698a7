// kv306ctl station against simulated units that are plugged, pulled, switched off and on while it
// runs: every unit is in the report once, with the right outcome, and a stop or a full disk
// leaves a report that says what happened.
#include "support/sim_ports.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

using namespace kv306;
using namespace kv306::test;

namespace {

const QByteArray kProfile = R"({"format": "kv306-profile", "version": 1, "horizontal": 24, "vertical": 18,
 "size": 30, "standard": "PAL", "roundness": 2, "outside": "remove"})";
const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");
const QString kWrite = QStringLiteral("55 EE 00 00 FF 18 12 1E 00 02 01 17");

// A station run as a process, its standard error followed while it runs.
class StationRun {
public:
    StationRun(const QString &dir, const QStringList &args)
    {
        QFile profile(dir + "/line.json");
        profile.open(QIODevice::WriteOnly);
        profile.write(kProfile);
        profile.close();
        p_.start(QStringLiteral(KV306CTL), QStringList{"station", profile.fileName()} + args);
        QVERIFY(p_.waitForStarted());
    }
    ~StationRun()
    {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished();
        }
    }
    // Standard error so far.
    QString Err()
    {
        err_ += QString::fromUtf8(p_.readAllStandardError());
        return err_;
    }
    int Said(const QString &line) { return static_cast<int>(Err().count(line + '\n')); }
    void Signal(int signo) { ::kill(static_cast<pid_t>(p_.processId()), signo); }
    qint64 Pid() const { return p_.processId(); }
    int Finish()
    {
        if (p_.state() != QProcess::NotRunning && !p_.waitForFinished(20000))
            qFatal("the station did not end: %s", qPrintable(Err()));
        out_ = QString::fromUtf8(p_.readAllStandardOutput());
        Err();
        return p_.exitCode();
    }
    QString out_;

private:
    QProcess p_;
    QString err_;
};

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
            QCOMPARE(row.size(), 14);
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

    // A unit left plugged is one unit however long it stays; switched off it is gone after three
    // reads unanswered, and switched on again it is the next unit. A hang-up ends the station
    // with its summary; --json gives one object a line.
    void unitLeftPluggedCountedOnce()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        const QString report = ports.Path() + "/report.csv";
        StationRun run(ports.Path(), {"--port", "COM3", "--report", report, "--json"});
        QTRY_COMPARE_WITH_TIMEOUT(Rows(report).size(), 1, 5000);
        QTest::qWait(1500);  // some reads while it stays
        unit.SetPowered(false);
        QTest::qWait(2500);  // two of the three reads unanswered: still the same unit
        QCOMPARE(Rows(report).size(), 1);
        unit.SetPowered(true);
        QTest::qWait(1500);
        QCOMPARE(Rows(report).size(), 1);  // it answered again before the third miss
        unit.SetPowered(false);
        QTest::qWait(4500);
        unit.SetPowered(true);
        QTRY_COMPARE_WITH_TIMEOUT(Rows(report).size(), 2, 5000);
        run.Signal(SIGHUP);
        QCOMPARE(run.Finish(), 129);
        const QStringList lines = run.out_.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(first["result"].toString(), "pass");
        QCOMPARE(first["unit"].toInt(), 1);
        QCOMPARE(first["values"].toObject()["size"].toInt(), 30);
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

    // A report that cannot be written stops the station before it sends anything; a dry run
    // says what would be sent and opens nothing.
    void reportUnwritableAndDryRun()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        StationRun full(ports.Path(), {"--port", "COM3", "--report", "/dev/full"});
        QCOMPARE(full.Finish(), 4);
        QVERIFY2(full.Err().contains("/dev/full: No space left on device"), qPrintable(full.Err()));

        StationRun dry(ports.Path(), {"--port", "COM3", "--report", ports.Path() + "/r.csv", "--dry-run"});
        QCOMPARE(dry.Finish(), 0);
        QVERIFY2(dry.out_.contains(kWrite) && dry.out_.contains(kRead), qPrintable(dry.out_));
        QProcess apply;
        apply.start(QStringLiteral(KV306CTL),
                    {"apply", ports.Path() + "/line.json", "--port", "COM3", "--dry-run", "--json"});
        QVERIFY(apply.waitForFinished());
        const QJsonObject o = QJsonDocument::fromJson(apply.readAllStandardOutput()).object();
        QCOMPARE(o["ports"].toArray().at(0).toObject()["frames"].toArray().toVariantList(),
                 (QVariantList{kWrite, kRead}));
        QVERIFY(!QFile::exists(ports.Path() + "/r.csv"));
        QCOMPARE(RequestFrames(unit), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
