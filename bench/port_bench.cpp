// kv306-bench-port: the window's read, one nudge step and a held nudge against the unit on the
// first port the window finds, each beside its floor. It runs where kv306-bench cannot: on
// Windows, and under Wine against kv306-sim at line pace on a mapped COM port (the Windows leg of
// the test command runs it so). Rows: read, step, hold; none named runs them all.
#include "floors.h"
#include "panel/form1.h"
#include "panel/qt_toolkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kv306;
using namespace kv306::bench;

namespace {

void Row(const char *name, double measured, double floor, const char *unit, double ratio,
         const QString &verdict)
{
    std::printf("%-26s %10.2f %-4s %10.2f %-4s %8.3f   %s\n", name, measured, unit, floor, unit, ratio,
                qPrintable(verdict));
    std::fflush(stdout);
}

// An action's time, the median of `times` runs, beside what the line and the pauses cost.
void ActionRow(const char *name, double floor, int times, const std::function<void()> &run)
{
    std::vector<double> took;
    QElapsedTimer clock;
    for (int i = 0; i < times; ++i) {
        clock.start();
        run();
        took.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const double m = Median(took);
    const double overhead = m - floor;
    Row(name, m, floor, "ms", floor / m,
        QStringLiteral("overhead %1 ms, target < 3 ms: %2")
            .arg(overhead, 0, 'f', 2)
            .arg(overhead < 3 ? "met" : "MISSED"));
}

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);
    const auto want = [&wanted](const char *row) {
        return wanted.isEmpty() || wanted.contains(QLatin1String(row));
    };

    QTemporaryDir appDir;
    BenchToolkit toolkit(appDir.path());
    Form1 form(toolkit);
    if (!form.Load()) {
        std::fprintf(stderr, "kv306-bench-port: no port\n");
        return 1;
    }
    std::printf("%-26s %15s %15s %8s   (%s)\n", "row", "measured", "floor", "ratio",
                qPrintable(form.Serial().PortLabel()));
    UnitActions &actions = form.Actions();
    NudgeButton *up = form.HorizontalButtons()[0];
    NudgeButton *down = form.HorizontalButtons()[1];
    const auto step = [](NudgeButton *button) {
        QTimer::singleShot(0, button, [button] { QTest::mouseRelease(button, Qt::LeftButton); });
        QTest::mousePress(button, Qt::LeftButton);
    };
    if (want("read"))
        ActionRow("read", ExchangeFloor(7, 7) + 10, 9, [&] { actions.ReadClick(); });
    if (want("step"))
        ActionRow("one nudge step", ExchangeFloor(7, 2), 9, [&] { step(up); });
    if (want("hold")) {
        // Up then down, so that the value stays inside its range whatever the unit held.
        std::vector<double> rates;
        const int holdMs = 2500;
        for (NudgeButton *button : {down, up, down}) {
            const std::size_t before = toolkit.said.size();
            QTimer::singleShot(holdMs, button, [button] { QTest::mouseRelease(button, Qt::LeftButton); });
            int steps = 0;
            const QMetaObject::Connection counted =
                QObject::connect(form.ParamLists()[0], &DropList::Click, [&steps] { ++steps; });
            QElapsedTimer clock;
            clock.start();
            QTest::mousePress(button, Qt::LeftButton);
            rates.push_back(steps * 1000.0 / static_cast<double>(clock.elapsed()));
            QObject::disconnect(counted);
            if (toolkit.said.size() != before)
                std::printf("  (the hold was told: %s)\n", qPrintable(toolkit.said.back()));
        }
        const double rate = Median(rates);
        const double floor = HeldNudgeFloor();
        Row("held nudge (steps/s)", rate, floor, "/s", rate / floor,
            QStringLiteral("target ratio >= 0.97: %1").arg(rate / floor >= 0.97 ? "met" : "MISSED"));
    }
    return 0;
}
