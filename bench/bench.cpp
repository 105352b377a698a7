// kv306-bench: the tool's own overhead next to what the line and the link's pauses cost anyway.
// Every row runs against the simulated unit at the pace of a 9600-baud line.
#include "link/serial_link.h"
#include "panel/form1.h"
#include "panel/qt_toolkit.h"
#include "protocol/frames.h"
#include "sim/sim_unit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace kv306;

namespace {

constexpr double kByteMs = 10.0 / 9.6;
constexpr double kOpenMs = 5;
constexpr double kCloseMs = 105;

double Wire(int bytes)
{
    return bytes * kByteMs;
}

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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The real toolkit, except that boxes are answered at once and the program's directory is given.
class BenchToolkit : public QtToolkit {
public:
    explicit BenchToolkit(QString appPath) : appPath_(std::move(appPath)) {}
    void MsgBox(const QString &text, int, const std::optional<QString> &) override { said.push_back(text); }
    QString AppPath() override { return appPath_; }
    std::vector<QString> said;

private:
    QString appPath_;
};

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
    NudgeButton *step = s.form.Command6[0];
    const std::vector<Action> actions{
        {"toggle (overlay)", kOpenMs + Wire(7) + Wire(2) + kCloseMs + 10,
         [&] { s.form.Actions().ToggleClick(0); }},
        {"save", kOpenMs + Wire(12) + Wire(1) + kCloseMs, [&] { s.form.Actions().SaveClick(); }},
        {"read", kOpenMs + Wire(7) + Wire(7) + kCloseMs + 10, [&] { s.form.Actions().ReadClick(); }},
        {"one nudge step", kOpenMs + Wire(7) + Wire(2) + kCloseMs,
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
    MSComm &comm = s.form.MSComm1;
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
    NudgeButton *button = s.form.Command6[0];
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
    const double floor = 1000 / (kOpenMs + Wire(7) + Wire(2) + kCloseMs);
    char verdict[64];
    std::snprintf(verdict, sizeof verdict, "%.0f steps a hold; target ratio >= 0.97: %s", Median(steps),
                  rate / floor >= 0.97 ? "met" : "MISSED");
    Row("held nudge (steps/s)", rate, floor, "/s", rate / floor, verdict);
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--startup-probe")
        return StartupProbe(QString::fromLocal8Bit(argv[2]));

    std::printf("%-26s %15s %15s %8s\n", "row", "measured", "floor", "ratio");
    ActionRows();
    CpuRow();
    StartupRow(argv[0]);
    HoldRow();
    return 0;
}
