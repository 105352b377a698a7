#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "protocol/store_sender.h"

#include "protocol/outcome_text.h"
#include "protocol/params_text.h"
#include "protocol/station.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace kv306::ctl {

namespace {

// Where scanned lines go: the station while it runs, nowhere after.
class ScanSink {
public:
    explicit ScanSink(Station *station) : station_(station) {}
    // Empty when taken, else why refused; nothing once the station has ended.
    std::optional<QString> Scanned(const QString &line)
    {
        std::lock_guard lock(mutex_);
        return station_ ? std::optional<QString>(station_->Scanned(line)) : std::nullopt;
    }
    void NoMore()
    {
        std::lock_guard lock(mutex_);
        if (station_)
            station_->NoMoreScans();
    }
    void End()
    {
        std::lock_guard lock(mutex_);
        station_ = nullptr;
    }

private:
    std::mutex mutex_;
    Station *station_;
};

void ReadScans(const std::shared_ptr<ScanSink> &sink, bool json)
{
    std::thread([sink, json] {
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            QByteArray bytes(buffer);
            if (bytes.endsWith('\n'))
                bytes.chop(1);
            const QString line = QString::fromLocal8Bit(bytes);
            const std::optional<QString> refused = sink->Scanned(line);
            if (!refused)
                return;
            if (refused->isEmpty())
                continue;
            Err(QStringLiteral("scan '%1' refused: %2; scan again").arg(line.left(80), *refused));
            if (json)
                RecordJson(QJsonObject{{QStringLiteral("scan"), line.left(80)},
                                       {QStringLiteral("refused"), *refused}});
        }
        Err(QStringLiteral("standard input ended: no more scans; each slot ends once no scan waits for it"));
        sink->NoMore();
    }).detach();
}

}  // namespace

// Unit after unit on every port, until a stop, the count or, with `once`, one look.
int StationCommand(const Invocation &in)
{
    const QList<PortRef> &targets = in.ports;
    const QString &reportPath = in.report;
    const QString &junitPath = in.junit;
    Station::Options options;
    options.profile = *in.profile;
    options.profileName = QFileInfo(in.profilePath).fileName();
    options.count = in.count;
    options.once = in.once;
    options.scan = in.scan;
    options.operatorName = in.operatorName;
    options.lot = in.lot;
    for (const PortRef &port : targets)
        options.slotNames << port.Label();
    StationReport report;
    QString error;
    const bool newColumns = in.scan || !in.operatorName.isEmpty() || !in.lot.isEmpty();
    if (const Done opened = report.Open(reportPath, junitPath, newColumns); !opened) {
        error = opened.reason;
        // A JUnit file's refusal names it; the rest are the report's.
        if (!error.startsWith(QLatin1String("JUnit")))
            error.prepend(QStringLiteral("report "));
        Err(error);
        if (JsonMode())
            PrintJson(QJsonObject{{QStringLiteral("error"), error}});
        return kExitOutput;
    }
    Station station(options, &report);
    station.ShouldStop = [] { return Stopped(); };
    const bool json = JsonMode();
    // The largest code among the units, and the slots that found none (with --once).
    std::atomic<int> code{kExitOk};
    std::atomic<int> noUnitFailed{0};
    std::atomic<int> noUnitError{0};
    // The line's database, when named: each row is sent after it is safe in the report.
    std::unique_ptr<StoreSender> sender;
    if (!in.store.isEmpty()) {
        sender = std::make_unique<StoreSender>(in.store, reportPath);
        sender->Changed = [json](const StoreSender::Status &s) {
            if (json)
                RecordJson(
                    QJsonObject{{QStringLiteral("store"),
                                 s.problem.isEmpty() ? QStringLiteral("sending") : QStringLiteral("away")},
                                {QStringLiteral("waiting"), s.waiting},
                                {QStringLiteral("sent"), s.sent},
                                {QStringLiteral("problem"), s.problem}});
            else if (s.problem.isEmpty())
                Err(QStringLiteral("store: the database takes the rows again; %1 waiting")
                        .arg(CountOf(s.waiting, "row", "rows")));
            else
                Err(QStringLiteral("store: %1; %2 waiting, kept in the report, tried again on its own")
                        .arg(s.problem, CountOf(s.waiting, "row", "rows")));
        };
        sender->Start();
    }
    StoreSender *const store = sender.get();
    station.UnitDone = [json, &code, store, &report](const StationRow &row) {
        RaiseTo(code, ExitCodeOf(row.detail));
        if (store && row.reportError.isEmpty())
            store->Add(row.written, report.Columns());
        if (json) {
            QJsonObject o{
                {QStringLiteral("time"), StampText(row.at)}, {QStringLiteral("unit"), row.unit},
                {QStringLiteral("slot"), row.slot},          {QStringLiteral("port"), row.port},
                {QStringLiteral("device"), row.device},      {QStringLiteral("result"), row.KindWord()},
                {QStringLiteral("outcome"), row.outcome},    {QStringLiteral("seconds"), row.seconds}};
            if (!row.adapterSerial.isEmpty())
                o.insert(QStringLiteral("adapterSerial"), row.adapterSerial);
            if (!row.serial.isEmpty())
                o.insert(QStringLiteral("serial"), row.serial);
            if (row.again)
                o.insert(QStringLiteral("again"), row.again);
            if (!row.operatorName.isEmpty())
                o.insert(QStringLiteral("operator"), row.operatorName);
            if (!row.lot.isEmpty())
                o.insert(QStringLiteral("lot"), row.lot);
            if (row.values)
                o.insert(QStringLiteral("values"), ParamsJson(*row.values));
            if (row.detail.failure == Failure::Port)
                o.insert(QStringLiteral("number"), row.detail.errorNumber);
            if (!row.reportError.isEmpty())
                o.insert(QStringLiteral("reportError"), row.reportError);
            RecordJson(o);
            return;
        }
        const QString time = QString::number(row.seconds, 'f', 1) + QStringLiteral(" s");
        QString line = row.Passed()
                           ? QStringLiteral("%1 #%2 pass %3").arg(row.port).arg(row.unit).arg(time)
                           : QStringLiteral("%1 #%2 %3 %4: %5")
                                 .arg(row.port)
                                 .arg(row.unit)
                                 .arg(row.KindWord(), time, row.outcome.section(QStringLiteral(": "), 1));
        if (!row.serial.isEmpty())
            line += row.again ? QStringLiteral(" [%1, set up before as #%2]").arg(row.serial).arg(row.again)
                              : QStringLiteral(" [%1]").arg(row.serial);
        if (!row.reportError.isEmpty())
            line += QStringLiteral(" (not in the report: %1)").arg(row.reportError);
        Record(line);
    };
    station.SlotChanged = [json](int, const PortRef &port, Station::SlotState state, const QString &why) {
        if (json && state != Station::SlotState::Unusable)
            return;
        switch (state) {
        case Station::SlotState::NoPort:
            Err(port.Label() + QStringLiteral(": no port yet (") + why + ')');
            break;
        case Station::SlotState::Waiting: Err(port.Label() + QStringLiteral(": waiting for a unit")); break;
        case Station::SlotState::Busy:
            Err(port.Label() + QStringLiteral(": busy") +
                (why.isEmpty() ? QString() : QStringLiteral(" (") + why + ')') +
                QStringLiteral("; nothing is set up on it while it is"));
            break;
        case Station::SlotState::Present: Err(port.Label() + QStringLiteral(": unit present")); break;
        case Station::SlotState::Scan:
            Err(port.Label() + QStringLiteral(": unit present, waiting for its serial number"));
            break;
        case Station::SlotState::SetUp:
            Err(port.Label() + QStringLiteral(": unit set up, waiting for it to be taken away"));
            break;
        case Station::SlotState::Gone: Err(port.Label() + QStringLiteral(": unit gone")); break;
        case Station::SlotState::Unusable:
            Err(port.Label() + QStringLiteral(": can never be a serial port, so the station stops: ") + why);
            break;
        case Station::SlotState::Done: break;
        }
    };
    station.NoUnit = [json, &code, &noUnitFailed, &noUnitError](int, const PortRef &port, const Outcome &o) {
        RaiseTo(code, ExitCodeOf(o));
        ++(o.failure == Failure::Port ? noUnitError : noUnitFailed);
        Err(port.Label() + QStringLiteral(": no unit: ") + FailureText(o));
        if (json) {
            QJsonObject row{{QStringLiteral("port"), port.Label()},
                            {QStringLiteral("result"), QStringLiteral("no unit")}};
            RecordJson(FailureJson(o, row));
        }
    };
    // Scans come from standard input, a line a unit, read on a thread of its own that may still
    // wait for a line when the station ends: it reaches the station only while the station runs.
    auto scans = std::make_shared<ScanSink>(&station);
    if (in.scan)
        ReadScans(scans, json);
    const auto stationEnded = qScopeGuard([scans] { scans->End(); });
    station.Run(targets);

    // A slot that found no unit counts as the exit code counts it: a failed unit, or a port
    // error.
    const int empty = noUnitFailed + noUnitError;
    const int units = station.Units() + empty;
    const int failed = station.Failed() + noUnitFailed;
    const int errors = station.Errors() + noUnitError;
    const QString reportError = station.ReportError();
    const std::optional<Outcome> fault = station.PortFault();
    QString summary = QStringLiteral("station: ") + UnitCounts(units, station.Passed(), failed, errors);
    if (station.Interrupted() > 0)
        summary += QStringLiteral(", %1 written, not verified").arg(station.Interrupted());
    if (empty > 0)
        summary += QStringLiteral(" (%1 without a unit)").arg(CountOf(empty, "slot", "slots"));
    if (Stopped())
        summary = QStringLiteral("interrupted: ") + summary;
    if (!reportError.isEmpty() || fault)
        summary = QStringLiteral("stopped: ") + summary;
    // Units still there that were never set up: the station did not do all there was to do.
    const QStringList notSetUp = station.NotSetUp();
    if (!notSetUp.isEmpty())
        RaiseTo(code, kExitUnit);
    if (JsonMode()) {
        QJsonObject figures{{QStringLiteral("units"), units},
                            {QStringLiteral("pass"), station.Passed()},
                            {QStringLiteral("fail"), failed},
                            {QStringLiteral("error"), errors},
                            {QStringLiteral("interrupted"), station.Interrupted()},
                            {QStringLiteral("noUnit"), empty}};
        if (!reportError.isEmpty())
            figures.insert(QStringLiteral("reportError"), reportError);
        if (fault)
            figures.insert(QStringLiteral("portError"), FailureJson(*fault));
        if (!notSetUp.isEmpty())
            figures.insert(QStringLiteral("notSetUp"), QJsonArray::fromStringList(notSetUp));
        RecordJson(QJsonObject{{QStringLiteral("summary"), figures}});
    } else {
        Record(summary);
    }
    for (const QString &port : notSetUp)
        Err(port + QStringLiteral(": a unit is there that was never scanned, so it was not set up"));
    // Rows the database has not taken yet: one more try, bounded, then said.
    if (sender) {
        const int waiting = sender->Finish(Stopped() ? 500 : LineStore::kConnectSeconds * 1000 + 1000);
        if (waiting > 0) {
            RaiseTo(code, kExitStore);
            const QString problem = sender->Now().problem;
            Err(QStringLiteral(
                    "store: %1 of %2 not in the database yet (%3); send them with: kv306ctl upload %2 "
                    "--store URL")
                    .arg(CountOf(waiting, "row", "rows"), reportPath, problem));
            if (json)
                RecordJson(QJsonObject{{QStringLiteral("store"), QStringLiteral("waiting")},
                                       {QStringLiteral("waiting"), waiting},
                                       {QStringLiteral("problem"), problem}});
        }
    }
    if (!reportError.isEmpty()) {
        Err(QStringLiteral("the report could not be written, so the station stopped: ") + reportError);
        return kExitOutput;
    }
    if (fault)
        return kExitPort;
    return code.load();
}

}  // namespace kv306::ctl
