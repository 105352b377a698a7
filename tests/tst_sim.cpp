// The simulated unit answers as the unit does.
#include "protocol/frames.h"
#include "sim/sim_unit.h"

#include <QtTest>

using namespace kv306;
using sim::SimUnit;
using sim::UnitState;

namespace {

sim::Bytes Ask(UnitState &state, const Bytes &frame)
{
    return SimUnit::Answer(frame, state).value_or(sim::Bytes{0xEE, 0xEE, 0xEE});
}

const sim::Bytes kNothing{0xEE, 0xEE, 0xEE};

}  // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    // A port name the simulator did not make is the user's: never deleted.
    void leavesOthersLinksAlone()
    {
        QTemporaryDir dir;
        const QString own = dir.filePath(QStringLiteral("COM7"));
        QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB3"), own));
        sim::SimUnit unit;
        std::string error;
        QVERIFY(!unit.Start(own.toStdString(), &error));
        QVERIFY(QString::fromStdString(error).contains(QStringLiteral("leaving it alone")));
        QCOMPARE(QFileInfo(own).symLinkTarget(), QStringLiteral("/dev/ttyUSB3"));
    }

    void parameterFrameIsStoredAndAcknowledged()
    {
        UnitState s;
        QCOMPARE(Ask(s, ParameterFrame({13, 20, 0, 0, 3, 0}).value()), (sim::Bytes{0x99}));
        QCOMPARE(Ask(s, CommandFrame(Op::ReadParams, 0)), (sim::Bytes{13, 20, 0, 0, 3, 0, 13 ^ 20 ^ 3}));
    }

    void badFramesGetNoAnswer()
    {
        UnitState s;
        Bytes badCheck = ParameterFrame({1, 2, 3, 0, 1, 0}).value();
        badCheck[11] ^= 1;
        QCOMPARE(Ask(s, badCheck), kNothing);
        Bytes outOfRange = ParameterFrame({64, 0, 0, 0, 0, 0}).value();
        QCOMPARE(Ask(s, outOfRange), kNothing);
        Bytes badCommand = CommandFrame(Op::ReadParams, 0);
        badCommand[6] ^= 1;
        QCOMPARE(Ask(s, badCommand), kNothing);
        QCOMPARE(Ask(s, Bytes{0x55, 0xD0, 0xA9, 0x00, 0xFF, 0x01,
                              static_cast<std::uint8_t>(0xD0 ^ 0xA9 ^ 0xFF ^ 0x01)}),
                 kNothing);
        QCOMPARE(s.params, UnitState{}.params);
    }

    void stepsMoveByOneWithinRange()
    {
        UnitState s;
        s.params = {0, 63, 51, 0, 0, 0};
        QCOMPARE(Ask(s, CommandFrame(Op::StepHorizontal, 1)), (sim::Bytes{0, 0}));  // clamped at 0
        QCOMPARE(Ask(s, CommandFrame(Op::StepHorizontal, 0)), (sim::Bytes{1, 1}));
        QCOMPARE(Ask(s, CommandFrame(Op::StepVertical, 0)), (sim::Bytes{63, 63}));  // clamped at 63
        QCOMPARE(Ask(s, CommandFrame(Op::StepVertical, 1)), (sim::Bytes{62, 62}));
        QCOMPARE(Ask(s, CommandFrame(Op::StepCircleSize, 0)), (sim::Bytes{51, 51}));  // clamped at 51
        QCOMPARE(Ask(s, CommandFrame(Op::StepCircleSize, 1)), (sim::Bytes{50, 50}));
    }

    void togglesFlipAndEcho()
    {
        UnitState s;
        QCOMPARE(Ask(s, CommandFrame(Op::ToggleOverlay, 2)), (sim::Bytes{0, 0}));
        QCOMPARE(Ask(s, CommandFrame(Op::ToggleOverlay, 2)), (sim::Bytes{1, 1}));
        QCOMPARE(Ask(s, CommandFrame(Op::ToggleCrosshair, 2)), (sim::Bytes{0, 0}));
        QVERIFY(s.overlayOn);
        QVERIFY(!s.crosshairOn);
    }

    void faultNamesRoundTrip()
    {
        const auto &names = sim::FaultNames();
        for (std::size_t i = 0; i < names.size(); ++i)
            QCOMPARE(int(*sim::FaultByName(names[i])), int(i));
        QVERIFY(!sim::FaultByName("sulky"));
    }

    void linkIsMadeAndRemoved()
    {
        QTemporaryDir dir;
        const std::string link = dir.filePath(QStringLiteral("COM9")).toStdString();
        {
            SimUnit unit;
            std::string error;
            QVERIFY2(unit.Start(link, &error), error.c_str());
            QCOMPARE(QFileInfo(QString::fromStdString(link)).symLinkTarget(),
                     QString::fromStdString(unit.TerminalPath()));
        }
        QVERIFY(!QFileInfo(QString::fromStdString(link)).isSymLink());

        // Someone else's link put in its place meanwhile stays at the unit's exit.
        {
            SimUnit unit;
            std::string error;
            QVERIFY2(unit.Start(link, &error), error.c_str());
            QFile::remove(QString::fromStdString(link));
            QVERIFY(QFile::link(QStringLiteral("/dev/ttyUSB3"), QString::fromStdString(link)));
        }
        QCOMPARE(QFileInfo(QString::fromStdString(link)).symLinkTarget(), QStringLiteral("/dev/ttyUSB3"));
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
