// kv306-bench: the tool's own overhead next to what the line and the link's pauses cost anyway.
// Every row runs against the simulated unit at the pace of a 9600-baud line.
#include "floors.h"
#include "link/pacer.h"
#include "link/serial_link.h"
#include "link/tls_stream.h"
#include "panel/form1.h"
#include "panel/main_window.h"
#include "panel/qt_toolkit.h"
#include "protocol/frames.h"
#include "protocol/outcome_text.h"
#include "protocol/probe.h"
#include "protocol/station.h"
#include "protocol/station_report.h"
#include "protocol/unit_core.h"
#include "sim/sim_unit.h"
#include "store_bench.h"
#include "support/ser2net.h"  // the tests' ser2net lookup

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace kv306;

namespace {

using namespace kv306::bench;

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Setup {
    Setup()
    {
        qputenv("KV306_PORT_DIR", ports.path().toLocal8Bit());
        std::string error;
        if (!unit.Start(ports.filePath(QStringLiteral("COM3")).toStdString(), &error))
            qFatal("simulated unit: %s", error.c_str());
        if (!form.Load())
            qFatal("no port");
    }
    QTemporaryDir ports;
    QTemporaryDir app;
    sim::SimUnit unit{sim::SimOptions{}};
    BenchToolkit toolkit{app.path()};
    Form1 form{toolkit};
};

void Row(const char *name, double measured, double floor, const char *unit, double ratio, const char *verdict)
{
    std::printf("%-26s %10.2f %-4s %10.2f %-4s %8.3f   %s\n", name, measured, unit, floor, unit, ratio,
                verdict);
}

void ActionRows()
{
    Setup s;
    struct Action {
        const char *name;
        double floor;
        std::function<void()> run;
    };
    NudgeButton *step = s.form.HorizontalButtons()[0];
    const std::vector<Action> actions{
        {"toggle (overlay)", ExchangeFloor(7, 2) + 10, [&] { s.form.Actions().ToggleClick(0); }},
        {"save", ExchangeFloor(12, 1), [&] { s.form.Actions().SaveClick(); }},
        {"read", ExchangeFloor(7, 7) + 10, [&] { s.form.Actions().ReadClick(); }},
        {"one nudge step", ExchangeFloor(7, 2),
         [&] {
             QTimer::singleShot(0, step, [step] { QTest::mouseRelease(step, Qt::LeftButton); });
             QTest::mousePress(step, Qt::LeftButton);
         }},
    };
    for (const Action &a : actions) {
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) {
            sim::UnitState state;
            s.unit.SetState(state);
            const double t0 = NowMs();
            a.run();
            times.push_back(NowMs() - t0);
        }
        const double m = Median(times);
        const double overhead = m - a.floor;
        char verdict[64];
        std::snprintf(verdict, sizeof verdict, "overhead %.2f ms, target < 3 ms: %s", overhead,
                      overhead < 3 ? "met" : "MISSED");
        Row(a.name, m, a.floor, "ms", a.floor / m, verdict);
    }
    if (s.toolkit.said.size() != 2 * 15)
        std::printf("  (unexpected messages: %zu)\n", s.toolkit.said.size());
}

void CpuRow()
{
    Setup s;
    s.unit.SetFault(sim::Fault::Silent);
    SerialControl &comm = s.form.Serial();
    SerialLink &link = s.form.Link();
    std::vector<double> ours;
    std::vector<double> naive;
    for (int i = 0; i < 3; ++i) {
        link.OpenLink();
        comm.Output(CommandFrame(Op::ToggleOverlay, 2));
        double c0 = ThreadCpuMs();
        link.ReadReplyHex(2, 1000);
        ours.push_back(ThreadCpuMs() - c0);

        // The same wait as a tight poll of the input count.
        comm.Output(CommandFrame(Op::ToggleOverlay, 2));
        c0 = ThreadCpuMs();
        const double start = NowMs();
        while (comm.InBufferCount() != 2 && NowMs() - start <= 1000) {
        }
        naive.push_back(ThreadCpuMs() - c0);
        link.CloseLink();
    }
    const double o = Median(ours);
    const double n = Median(naive);
    char verdict[80];
    std::snprintf(verdict, sizeof verdict, "%.2f%% of the tight poll, target < 2%%: %s", 100 * o / n,
                  o / n < 0.02 ? "met" : "MISSED");
    Row("CPU in a 1000 ms time-out", o, n, "ms", o / n, verdict);
}

// Start-up in a process of its own, as the program starts: 20 ports, one of them a unit.
int StartupProbe(const QString &appDir)
{
    BenchToolkit toolkit(appDir);
    Form1 form(toolkit);
    if (!form.Load())
        return 1;
    form.show();
    return QTest::qWaitForWindowExposed(&form) ? 0 : 2;
}

void StartupRow(const char *self)
{
    QTemporaryDir ports;
    QTemporaryDir app;
    sim::SimUnit unit;
    std::string error;
    if (!unit.Start(ports.filePath(QStringLiteral("COM3")).toStdString(), &error))
        qFatal("simulated unit: %s", error.c_str());
    for (int n = 1; n <= 20; ++n) {
        if (n != 3)
            QFile::link(QStringLiteral("/dev/kv306-gone-%1").arg(n),
                        ports.filePath(QStringLiteral("COM%1").arg(n)));
    }
    qputenv("KV306_PORT_DIR", ports.path().toLocal8Bit());
    std::vector<double> times;
    long peakKiB = 0;
    const QByteArray dir = app.path().toLocal8Bit();
    for (int i = 0; i < 7; ++i) {
        QFile::remove(app.filePath(QStringLiteral("Com.TXT")));
        char *argv[] = {const_cast<char *>(self), const_cast<char *>("--startup-probe"),
                        const_cast<char *>(dir.constData()), nullptr};
        pid_t pid = 0;
        const double t0 = NowMs();
        if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0)
            qFatal("cannot start the probe");
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        times.push_back(NowMs() - t0);
        peakKiB = std::max(peakKiB, usage.ru_maxrss);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            std::printf("  (probe failed: %d)\n", status);
    }
    const double m = Median(times);
    char verdict[96];
    std::snprintf(verdict, sizeof verdict, "peak memory %.1f MiB; target < 300 ms: %s", peakKiB / 1024.0,
                  m < 300 ? "met" : "MISSED");
    Row("start-up to window shown", m, 300, "ms", m / 300, verdict);
}

void HoldRow()
{
    Setup s;
    NudgeButton *button = s.form.HorizontalButtons()[0];
    const int holdMs = 3000;
    std::vector<double> rates;
    std::vector<double> steps;
    for (int i = 0; i < 3; ++i) {
        s.unit.SetState(sim::UnitState{});  // 22: three seconds of steps stay below 63
        s.unit.ClearLog();
        QTimer::singleShot(holdMs, button, [button] { QTest::mouseRelease(button, Qt::LeftButton); });
        const double t0 = NowMs();
        QTest::mousePress(button, Qt::LeftButton);
        const double took = NowMs() - t0;
        steps.push_back(static_cast<double>(s.unit.Requests().size()));
        rates.push_back(steps.back() * 1000 / took);
    }
    const double rate = Median(rates);
    const double floor = HeldNudgeFloor();
    char verdict[64];
    std::snprintf(verdict, sizeof verdict, "%.0f steps a hold; target ratio >= 0.97: %s", Median(steps),
                  rate / floor >= 0.97 ? "met" : "MISSED");
    Row("held nudge (steps/s)", rate, floor, "/s", rate / floor, verdict);
}

// The same action with the traffic log window open and closed: recording must not show.
void LogRow()
{
    QTemporaryDir ports;
    QTemporaryDir app;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    sim::SimUnit unit{sim::SimOptions{}};
    std::string error;
    if (!unit.Start(ports.filePath(QStringLiteral("COM3")).toStdString(), &error))
        qFatal("simulated unit: %s", error.c_str());
    qputenv("KV306_PORT_DIR", ports.path().toLocal8Bit());
    BenchToolkit toolkit{app.path()};
    MainWindow window(toolkit);
    if (!window.Form().Load())
        qFatal("no port");
    window.show();
    std::vector<double> closed;
    std::vector<double> open;
    // Blocks of ten with the window open and closed in turn, so that a slow spell of the
    // machine falls on both. A read lets waiting events run inside the action, so the log
    // window's update, when open, lands in the measured time.
    for (int block = 0; block < 6; ++block) {
        const bool withLog = block % 2 == 1;
        if (withLog)
            window.ShowLog();
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            const double t0 = NowMs();
            window.Form().Actions().ReadClick();
            (withLog ? open : closed).push_back(NowMs() - t0);
        }
        if (withLog)
            window.ShowLog().close();
    }
    const double a = Median(closed);
    const double b = Median(open);
    char verdict[96];
    std::snprintf(verdict, sizeof verdict, "difference %.3f ms; target < 0.2 ms: %s", b - a,
                  b - a < 0.2 ? "met" : "MISSED");
    Row("read, log window open", b, a, "ms", b / a, verdict);
    qunsetenv("XDG_CONFIG_HOME");
}

// kv306ctl applying one profile to `count` units at line pace, each on a port of its own.
double ApplyOnce(int count)
{
    QTemporaryDir ports;
    std::vector<std::unique_ptr<sim::SimUnit>> units;
    QStringList args{QStringLiteral("apply"), ports.filePath(QStringLiteral("p.json"))};
    for (int n = 1; n <= count; ++n) {
        units.push_back(std::make_unique<sim::SimUnit>());
        std::string error;
        const QString link = ports.filePath(QStringLiteral("COM%1").arg(n));
        if (!units.back()->Start(link.toStdString(), &error))
            qFatal("simulated unit: %s", error.c_str());
        args << QStringLiteral("--port") << QStringLiteral("COM%1").arg(n);
    }
    QFile profile(ports.filePath(QStringLiteral("p.json")));
    if (!profile.open(QIODevice::WriteOnly))
        qFatal("profile");
    profile.write("{\"format\": \"kv306-profile\", \"version\": 1, \"horizontal\": 30, \"vertical\": 20, "
                  "\"size\": 25, \"standard\": \"PAL\", \"roundness\": 3, \"outside\": \"keep\"}");
    profile.close();
    qputenv("KV306_PORT_DIR", ports.path().toLocal8Bit());
    QProcess p;
    const double t0 = NowMs();
    p.start(QStringLiteral(KV306CTL), args);
    p.waitForFinished(60000);
    const double took = NowMs() - t0;
    if (p.exitCode() != 0)
        std::printf("  (apply failed: %s)\n", p.readAllStandardError().constData());
    return took;
}

void ApplyRow()
{
    std::vector<double> one;
    std::vector<double> eight;
    for (int i = 0; i < 5; ++i) {
        one.push_back(ApplyOnce(1));
        eight.push_back(ApplyOnce(8));
    }
    const double a = Median(one);
    const double b = Median(eight);
    char verdict[80];
    std::snprintf(verdict, sizeof verdict, "one unit %.1f ms; target ratio < 1.3: %s", a,
                  b / a < 1.3 ? "met" : "MISSED");
    Row("apply to 8 units", b, a, "ms", b / a, verdict);
}

// The pauses are not what a soak measures.
class NoPauseToolkit : public Pacer {
public:
    void Sleep(int) override {}
};

// A figure of this process's memory in KiB: "VmRSS" now, "VmHWM" the peak.
long StatusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long ResidentKiB()
{
    return StatusKiB("VmRSS");
}

// The protocol core on COM3, with an instant simulated unit behind it and no pauses.
struct CoreOnSimulatedPort {
    explicit CoreOnSimulatedPort(sim::Fault fault = sim::Fault::None) : unit(Options(fault))
    {
        std::string error;
        if (!unit.Start(ports.filePath(QStringLiteral("COM3")).toStdString(), &error))
            qFatal("simulated unit: %s", error.c_str());
        qputenv("KV306_PORT_DIR", ports.path().toLocal8Bit());
        comm.SetCommPort(3);
    }
    static sim::SimOptions Options(sim::Fault fault)
    {
        sim::SimOptions options;
        options.linePace = false;
        options.fault = fault;
        return options;
    }
    QTemporaryDir ports;
    sim::SimUnit unit;
    SerialControl comm;
    NoPauseToolkit toolkit;
    SerialLink link{comm, toolkit};
    UnitCore core{link, comm, toolkit};
};

long OpenDescriptors()
{
    return static_cast<long>(
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

void SoakRow()
{
    CoreOnSimulatedPort bench;
    sim::SimUnit &unit = bench.unit;
    SerialLink &link = bench.link;
    UnitCore &core = bench.core;
    long rss100 = 0;
    long fds100 = 0;
    int failed = 0;
    const double t0 = NowMs();
    for (int i = 1; i <= 5000; ++i) {
        failed += core.Read().Ok() ? 0 : 1;
        link.CloseLink();
        if (i == 100) {
            rss100 = ResidentKiB();
            fds100 = OpenDescriptors();
        }
        if (i % 500 == 0)
            unit.ClearLog();  // the simulated unit's own log is not the tool's memory
    }
    const double took = NowMs() - t0;
    const long rssGrowth = ResidentKiB() - rss100;
    const long fdGrowth = OpenDescriptors() - fds100;
    char verdict[128];
    std::snprintf(verdict, sizeof verdict,
                  "%+ld KiB, %+ld descriptors, %d failed, %.0f s; target < 1 MiB, no growth: %s", rssGrowth,
                  fdGrowth, failed, took / 1000,
                  // Descriptors let go (a lookup thread's, a lock's) are no leak: only growth is.
                  rssGrowth < 1024 && fdGrowth <= 0 && failed == 0 ? "met" : "MISSED");
    Row("5000 reads (KiB growth)", static_cast<double>(rssGrowth), 1024, "KiB", rssGrowth / 1024.0, verdict);
}

// A peer that sends without pause: the read ends on the whole-wait bound, and what the wait
// holds at a time stays small however much comes.
void FloodRow()
{
    CoreOnSimulatedPort bench(sim::Fault::Flood);
    SerialLink &link = bench.link;
    UnitCore &core = bench.core;
    const long peakBefore = StatusKiB("VmHWM");
    const double t0 = NowMs();
    const Outcome o = core.Read();
    const double took = NowMs() - t0;
    link.CloseLink();
    const long peakGrowth = StatusKiB("VmHWM") - peakBefore;
    const double bound = SerialLink::kWholeWaitMs;
    char verdict[160];
    std::snprintf(verdict, sizeof verdict, "%.0f MiB came, peak +%ld KiB; target < %.0f ms, < 4 MiB: %s",
                  static_cast<double>(o.traffic.back().seen) / (1024 * 1024), peakGrowth, bound + 100,
                  took < bound + 100 && peakGrowth < 4096 && !o.Ok() ? "met" : "MISSED");
    Row("read under a flood", took, bound, "ms", took / bound, verdict);
}

// The station: from a unit's first answer to its "pass" row safe in the report, beside one write
// exchange and one read exchange at line pace.
// A line-paced simulated unit on a port link of its own, and a station's report beside it.
struct StationBench {
    StationBench()
    {
        std::string error;
        if (!unit.Start(link.toStdString(), &error))
            qFatal("simulated unit: %s", error.c_str());
    }
    void OpenReport(StationReport &report) const
    {
        if (const Done opened = report.Open(dir.filePath(QStringLiteral("report.csv")), QString()); !opened)
            qFatal("report: %s", qPrintable(opened.reason));
    }
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("COM5"));
    sim::SimUnit unit;
};

void StationSetUpRow()
{
    StationBench bench;
    const QString &link = bench.link;
    std::vector<double> took;
    for (int i = 0; i < 7; ++i) {
        StationReport report;
        bench.OpenReport(report);
        Station::Options options;
        options.profile = {30, 20, 25, 0, 3, 0};
        options.once = true;
        Station station(options, &report);
        double answered = 0;
        double passed = 0;
        station.SlotChanged = [&answered](int, const PortRef &, Station::SlotState state, const QString &) {
            if (state == Station::SlotState::Present)
                answered = NowMs();
        };
        station.UnitDone = [&passed](const StationRow &row) {
            if (row.Passed())
                passed = NowMs();
        };
        station.RunSlot(1, *PortRef::Read(link));
        if (passed > 0)
            took.push_back(passed - answered);
    }
    const double floor = ExchangeFloor(12, 1) + ExchangeFloor(7, 7);
    if (took.empty()) {
        Row("station: answer to pass row", 0, floor, "ms", 0, "no unit passed: MISSED");
        return;
    }
    const double m = Median(took);
    char verdict[80];
    std::snprintf(verdict, sizeof verdict, "target ratio >= 0.95: %s", floor / m >= 0.95 ? "met" : "MISSED");
    Row("station: answer to pass row", m, floor, "ms", floor / m, verdict);
}

// The station: a unit swapped at the fixture faster than the gone rule (the one set up goes silent
// for 1 to 4 s, then one with the factory values answers), from the new unit's power-on to its
// pass row. How soon depends on where the station's read cycle stands when it comes on; the
// longest it can take is a read that just missed it, its late-answer listening, the close and
// the rest between reads, then a read, a write and a read-back.
void SwapRow()
{
    StationBench bench;
    const QString &link = bench.link;
    sim::SimUnit &unit = bench.unit;
    StationReport report;
    bench.OpenReport(report);
    constexpr int kSwaps = 6;
    Station::Options options;
    options.profile = {30, 20, 25, 0, 3, 0};
    options.count = 1 + kSwaps;
    Station station(options, &report);
    std::atomic<int> passed{0};
    std::atomic<double> lastPass{0};
    station.UnitDone = [&](const StationRow &row) {
        if (row.Passed()) {
            lastPass = NowMs();
            ++passed;
        }
    };
    std::unique_ptr<QThread> slot(QThread::create([&] { station.RunSlot(1, *PortRef::Read(link)); }));
    slot->start();
    const auto waitFor = [&](int n) {
        const double until = NowMs() + 15000;
        while (passed < n && NowMs() < until)
            QThread::msleep(5);
        return passed >= n;
    };
    std::vector<double> took;
    std::srand(42);
    for (int i = 1; i <= kSwaps && waitFor(i); ++i) {
        QThread::msleep(300);  // the unit stays a moment, then the operator swaps it
        unit.SetPowered(false);
        QThread::msleep(static_cast<unsigned long>(1000 + std::rand() % 3000));
        const double on = NowMs();
        unit.SetPowered(true);
        if (waitFor(i + 1))
            took.push_back(lastPass - on);
    }
    station.Stop();
    slot->wait();
    const double bound = UnitCore::kReplyTimeoutMs + SerialLink::kLateReplyMs + kCloseMs +
                         Station::kStayLookMs + ExchangeFloor(7, 7) + ExchangeFloor(12, 1) +
                         ExchangeFloor(7, 7);
    if (static_cast<int>(took.size()) < kSwaps) {
        Row("station: swap to pass row", 0, bound, "ms", 0, "a swapped unit was not set up: MISSED");
        return;
    }
    const double longest = *std::max_element(took.begin(), took.end());
    char verdict[96];
    std::snprintf(verdict, sizeof verdict, "(bound) longest of %d %.0f ms, within it: %s", kSwaps, longest,
                  longest <= bound ? "met" : "MISSED");
    Row("station: swap to pass row", Median(took), bound, "ms", Median(took) / bound, verdict);
}

// A read through a serial device server on loopback (ser2net, raw TCP and RFC 2217) beside the
// same read on the unit's terminal itself, interleaved in one run: each exchange connects (and for
// RFC 2217 sets the line) where a local one opens the port. Target: within 5 ms of the local read.
void NetworkRows()
{
    QTemporaryDir dir;
    // A unit for each way: a server's device is its own while a client is connected, and let go
    // a moment after.
    sim::SimUnit onTerminal;
    sim::SimUnit behindRaw;
    sim::SimUnit behindTelnet;
    sim::SimUnit behindRawTls;
    sim::SimUnit behindTelnetTls;
    for (sim::SimUnit *unit : {&onTerminal, &behindRaw, &behindTelnet, &behindRawTls, &behindTelnetTls}) {
        std::string error;
        if (!unit->Start(std::string(), &error))
            qFatal("simulated unit: %s", error.c_str());
    }
    const auto freePort = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    };
    const quint16 raw = freePort();
    const quint16 telnet = freePort();
    const quint16 rawTls = freePort();
    const quint16 telnetTls = freePort();
    // The TLS ports' certificates, as the tests make them; the server checked as always.
    const QString certs = dir.filePath(QStringLiteral("certs"));
    if (QProcess::execute(QStringLiteral("bash"),
                          {QStringLiteral(KV306_SOURCE_DIR "/tests/make_certs.sh"), certs}) != 0)
        qFatal("the certificates were not made");
    SetTlsTrust({certs + QStringLiteral("/ca.crt"), {}, {}});
    const QString ssl = QStringLiteral("ssl(key=%1/server.key,cert=%1/server.crt)").arg(certs);
    QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
    config.open(QIODevice::WriteOnly);
    const auto connection = [](const QString &accepter, quint16 port, const sim::SimUnit &unit) {
        return QStringLiteral(
                   "connection: &c%1\n  accepter: %2,127.0.0.1,%1\n  connector: serialdev,%3,9600n81,local\n")
            .arg(port)
            .arg(accepter, QString::fromStdString(unit.TerminalPath()));
    };
    config.write((connection(QStringLiteral("tcp"), raw, behindRaw) +
                  connection(QStringLiteral("telnet(rfc2217),tcp"), telnet, behindTelnet) +
                  connection(ssl + QStringLiteral(",tcp"), rawTls, behindRawTls) +
                  connection(QStringLiteral("telnet(rfc2217),") + ssl + QStringLiteral(",tcp"), telnetTls,
                             behindTelnetTls))
                     .toUtf8());
    config.close();
    QProcess server;
    server.start(test::Ser2NetProgram(), {"-n", "-u", "-c", config.fileName()});
    if (!server.waitForStarted()) {
        Row("read over the network", 0, 0, "ms", 0, "ser2net does not start: MISSED");
        return;
    }
    QThread::msleep(500);
    struct Way {
        const char *name;
        PortRef port;
        std::vector<double> took;
    };
    std::vector<Way> ways{
        {"read on the terminal", *PortRef::Read(QString::fromStdString(onTerminal.TerminalPath())), {}},
        {"read over socket://", *PortRef::Read(QStringLiteral("socket://127.0.0.1:%1").arg(raw)), {}},
        {"read over rfc2217://", *PortRef::Read(QStringLiteral("rfc2217://127.0.0.1:%1").arg(telnet)), {}},
        {"read over socket+tls://",
         *PortRef::Read(QStringLiteral("socket+tls://127.0.0.1:%1").arg(rawTls)),
         {}},
        {"read over rfc2217+tls://",
         *PortRef::Read(QStringLiteral("rfc2217+tls://127.0.0.1:%1").arg(telnetTls)),
         {}}};
    for (int round = 0; round < 9; ++round) {
        for (Way &way : ways) {
            UnitOnPort here(way.port);
            const double start = NowMs();
            const Outcome o = here.core.Read();
            here.link.CloseLink();
            if (o.Ok())
                way.took.push_back(NowMs() - start);
            else if (round == 0)
                std::printf("  (%s: %s)\n", way.name, qPrintable(FailureText(o)));
        }
    }
    server.kill();
    server.waitForFinished();
    const double local = ways[0].took.empty() ? 0 : Median(ways[0].took);
    Row(ways[0].name, local, ExchangeFloor(7, 7), "ms", ExchangeFloor(7, 7) / std::max(local, 1.0), "");
    for (std::size_t i = 1; i < ways.size(); ++i) {
        if (ways[i].took.size() < 9) {
            Row(ways[i].name, 0, local, "ms", 0, "reads failed: MISSED");
            continue;
        }
        const double m = Median(ways[i].took);
        // TLS adds its handshake to each exchange's connect.
        const double target = QByteArray(ways[i].name).contains("+tls") ? 10 : 5;
        char verdict[80];
        std::snprintf(verdict, sizeof verdict, "(floor: the local read) +%.2f ms, target < %.0f ms: %s",
                      m - local, target, m - local < target ? "met" : "MISSED");
        Row(ways[i].name, m, local, "ms", local / m, verdict);
    }
}

// A shift's report of 100 000 rows (four slots, three operators, ten lots, one unit in twenty
// set up again, one in thirty failing): kv306ctl report's time to the figures, a process started
// and ended as a supervisor's script does, beside the station opening the same report (what the
// window's dialog does before its first unit).
void ReportRow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shift.csv"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("report: %s", qPrintable(f.errorString()));
        QByteArray text = ReportHeader(2) + '\n';
        const QDateTime start(QDate(2026, 12, 8), QTime(6, 0), Qt::OffsetFromUTC, 3600);
        const char *const outcomes[] = {"pass", "\"fail: verify mismatch: size wrote 30, unit holds 29\"",
                                        "error: error 8002: This port does not exist!"};
        for (int i = 1; i <= 100000; ++i) {
            const bool again = i % 20 == 0;
            const int serial = again ? i - 7 : i;
            text += StampText(start.addMSecs(i * 288LL)).toUtf8() + ',' + QByteArray::number(i) + ',' +
                    QByteArray::number(i % 4 + 1) + ",COM" + QByteArray::number(i % 4 + 3) +
                    ",/dev/ttyUSB0,A1," +
                    outcomes[i % 30 == 0   ? 1
                             : i % 97 == 0 ? 2
                                           : 0] +
                    ",24,18,30,PAL,2,remove,0.300,SN" + QByteArray::number(serial) + ',' +
                    (again ? QByteArray::number(i - 7) : QByteArray()) + ",op" + QByteArray::number(i % 3) +
                    ",L" + QByteArray::number(i / 10000) +
                    ",line.json,horizontal=24 vertical=18 size=30 standard=PAL roundness=2 outside=remove,"
                    "bench,1.1\n";
        }
        f.write(text);
    }
    std::vector<double> ctl;
    for (int run = 0; run < 5; ++run) {
        QProcess p;
        const double t0 = NowMs();
        p.start(QStringLiteral(KV306CTL), {QStringLiteral("report"), path, QStringLiteral("--json")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qFatal("kv306ctl report: %s", p.readAllStandardError().constData());
        ctl.push_back(NowMs() - t0);
    }
    std::vector<double> open;
    for (int run = 0; run < 5; ++run) {
        StationReport report;
        const double t0 = NowMs();
        if (const Done opened = report.Open(path, QString(), true); !opened)
            qFatal("report: %s", qPrintable(opened.reason));
        open.push_back(NowMs() - t0);
    }
    const double m = Median(ctl);
    char verdict[160];
    std::snprintf(verdict, sizeof verdict, "%.1f MiB; the station opens it in %.0f ms; target < 1000 ms: %s",
                  static_cast<double>(QFileInfo(path).size()) / (1024 * 1024), Median(open),
                  m < 1000 ? "met" : "MISSED");
    Row("report of 100 000 rows", m, 1000, "ms", m / 1000, verdict);
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--startup-probe")
        return StartupProbe(QString::fromLocal8Bit(argv[2]));

    // kv306-bench [ROW...]: only the rows named (actions cpu startup hold log apply soak flood station
    // swap network report store).
    const std::vector<std::pair<const char *, std::function<void()>>> rows{
        {"actions", ActionRows}, {"cpu", CpuRow},          {"startup", [&] { StartupRow(argv[0]); }},
        {"hold", HoldRow},       {"log", LogRow},          {"apply", ApplyRow},
        {"soak", SoakRow},       {"flood", FloodRow},      {"station", StationSetUpRow},
        {"swap", SwapRow},       {"network", NetworkRows}, {"report", ReportRow},
        {"store", StoreRows}};
    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);
    std::printf("%-26s %15s %15s %8s\n", "row", "measured", "floor", "ratio");
    for (const auto &[name, run] : rows) {
        if (wanted.isEmpty() || wanted.contains(QLatin1String(name)))
            run();
    }
    return 0;
}
