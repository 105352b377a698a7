// The arrow buttons driven by mouse press, hold and release against the simulated unit.
#include "support/rig.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kCommError = QStringLiteral("通信错误！");

// Releases `button` after `ms` (while the press is still stepping), or at the first chance.
void ReleaseAfter(QWidget *button, int ms, Qt::MouseButton mouse = Qt::LeftButton)
{
    QTimer::singleShot(ms, button, [button, mouse] { QTest::mouseRelease(button, mouse); });
}

// Presses and holds for about `ms`; returns when the repeat has ended.
void Hold(QWidget *button, int ms, Qt::MouseButton mouse = Qt::LeftButton)
{
    ReleaseAfter(button, ms, mouse);
    QTest::mousePress(button, mouse);
}

QList<QByteArray> Frames(const sim::SimUnit &unit)
{
    QList<QByteArray> frames;
    for (const sim::Bytes &f : unit.Requests())
        frames << Hex(f);
    return frames;
}

}  // namespace

class TestNudge : public QObject {
    Q_OBJECT
private slots:
    void clickMakesOneStep()
    {
        Rig r;
        r.Reply({0x15, 0x15});
        Hold(r.w.form.HorizontalButtons()[1], 0);
        QCOMPARE(Frames(r.unit), QList<QByteArray>{"55 D0 A0 01 FF 01 8F"});
        QCOMPARE(r.w.form.ParamLists()[0]->currentText(), QStringLiteral("21"));
        QCOMPARE(r.w.form.SentFrameField()->text(), QStringLiteral("  55  D0  A0  01  FF  01  8F"));
        QVERIFY(r.w.toolkit.boxes.empty());
        QVERIFY(!r.w.form.Serial().PortOpen());
        QCOMPARE(r.w.toolkit.sleeps, (std::vector<int>{5, 100, 5}));  // no pause of its own
    }

    void eachButtonSendsItsIndex_data()
    {
        QTest::addColumn<int>("pair");
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("value");  // the unit starts at 22, 20, 25
        QTest::newRow("horizontal >") << 0 << 0 << QByteArray("55 D0 A0 00 FF 01 8E") << 0 << 23;
        QTest::newRow("horizontal <") << 0 << 1 << QByteArray("55 D0 A0 01 FF 01 8F") << 0 << 21;
        QTest::newRow("vertical ∧") << 1 << 1 << QByteArray("55 D0 A1 01 FF 01 8E") << 1 << 19;
        QTest::newRow("vertical ∨") << 1 << 0 << QByteArray("55 D0 A1 00 FF 01 8F") << 1 << 21;
        QTest::newRow("size ∧") << 2 << 0 << QByteArray("55 D0 A2 00 FF 01 8C") << 2 << 26;
        QTest::newRow("size ∨") << 2 << 1 << QByteArray("55 D0 A2 01 FF 01 8D") << 2 << 24;
    }
    void eachButtonSendsItsIndex()
    {
        QFETCH(int, pair);
        QFETCH(int, index);
        QFETCH(QByteArray, frame);
        QFETCH(int, list);
        QFETCH(int, value);
        Rig r(SimPorts::LinePace());
        const std::array<std::array<NudgeButton *, 2>, 3> pairs{
            r.w.form.HorizontalButtons(), r.w.form.VerticalButtons(), r.w.form.SizeButtons()};
        Hold(pairs[static_cast<std::size_t>(pair)][static_cast<std::size_t>(index)], 0);
        QCOMPARE(Frames(r.unit), QList<QByteArray>{frame});
        QCOMPARE(r.w.form.ListIndex(list), value);
    }

    void holdRepeatsAndWritesText1Once()
    {
        Rig r(SimPorts::LinePace());
        r.w.toolkit.realSleep = true;
        r.w.form.SentFrameField()->setText(QStringLiteral("old"));
        QSignalSpy text(r.w.form.SentFrameField(), &QLineEdit::textChanged);
        std::vector<int> seen;
        connect(r.w.form.ParamLists()[1], &DropList::Click, this,
                [&] { seen.push_back(r.w.form.ListIndex(1)); });
        Hold(r.w.form.VerticalButtons()[1], 900);
        const QList<QByteArray> frames = Frames(r.unit);
        QVERIFY2(frames.size() >= 4, qPrintable(QString::number(frames.size())));
        for (const QByteArray &f : frames)
            QCOMPARE(f, QByteArray("55 D0 A1 01 FF 01 8E"));
        // The list follows every value the unit reported, one step each.
        QCOMPARE(seen.size(), static_cast<std::size_t>(frames.size()));
        for (std::size_t i = 0; i < seen.size(); ++i)
            QCOMPARE(seen[i], 19 - static_cast<int>(i));
        QCOMPARE(r.unit.State().params[1], 20 - frames.size());
        QCOMPARE(text.count(), 2);  // emptied at the press, written in the first cycle only
        QCOMPARE(r.w.form.SentFrameField()->text(), QStringLiteral("  55  D0  A1  01  FF  01  8E"));
        QVERIFY(!r.w.form.Serial().PortOpen());
    }

    void sameValueKeepsGoing()
    {
        Rig r;
        sim::UnitState state;
        state.params[0] = 63;
        r.unit.SetState(state);
        r.SetLists({63, 20, 25, 0, 3, 0});
        Hold(r.w.form.HorizontalButtons()[0], 200);
        QVERIFY(Frames(r.unit).size() >= 2);
        QCOMPARE(r.w.form.ListIndex(0), 63);
        QVERIFY(r.w.toolkit.boxes.empty());
    }

    void rightButtonStepsToo()
    {
        Rig r;
        Hold(r.w.form.HorizontalButtons()[0], 0, Qt::RightButton);
        QCOMPARE(Frames(r.unit), QList<QByteArray>{"55 D0 A0 00 FF 01 8E"});
        QCOMPARE(r.w.form.ListIndex(0), 23);
    }

    void keyboardDoesNothing()
    {
        Rig r;
        r.w.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&r.w.form));
        r.w.form.HorizontalButtons()[0]->setFocus();
        QTest::keyClick(r.w.form.HorizontalButtons()[0], Qt::Key_Space);
        QTest::keyClick(r.w.form.HorizontalButtons()[0], Qt::Key_Return);
        QTest::qWait(50);
        QVERIFY(r.unit.Requests().empty());
    }

    // After a failure the repeat ends: the release made while the box was open never reaches the
    // button, and a held button must not go on failing for ever.
    void failuresEndTheRepeat_data()
    {
        QTest::addColumn<QByteArray>("echo");  // empty: no echo at all
        QTest::addColumn<int>("pair");
        QTest::newRow("07 08") << QByteArray("\x07\x08") << 0;
        QTest::newRow("no echo") << QByteArray() << 1;
        QTest::newRow("offset 64") << QByteArray("\x40\x40") << 0;
        QTest::newRow("circle 52") << QByteArray("\x34\x34") << 2;
        QTest::newRow("FF FF") << QByteArray("\xFF\xFF") << 1;
    }
    void failuresEndTheRepeat()
    {
        QFETCH(QByteArray, echo);
        QFETCH(int, pair);
        Rig r;
        if (echo.isEmpty())
            r.unit.SetFault(sim::Fault::Silent);
        else
            r.Reply(sim::Bytes(echo.begin(), echo.end()));
        const std::array<NudgeButton *, 3> buttons{r.w.form.HorizontalButtons()[0],
                                                   r.w.form.VerticalButtons()[0], r.w.form.SizeButtons()[0]};
        const Params before = r.Lists();
        Hold(buttons[static_cast<std::size_t>(pair)], 300);  // still held when the box shows
        QCOMPARE(r.unit.Requests().size(), 1u);
        QCOMPARE(r.w.toolkit.BoxTexts(), QStringList{kCommError});
        QCOMPARE(r.w.toolkit.boxes[0].title.value_or(QStringLiteral("<application>")), QString());
        QVERIFY(r.w.toolkit.boxes[0].portOpen);                       // the port is left open
        QVERIFY(!buttons[static_cast<std::size_t>(pair)]->isDown());  // its release went to the box
        QCOMPARE(r.Lists(), before);
        QCOMPARE(r.w.form.SentFrameField()->text(), QString());
        const std::vector<int> pauses = pair == 2 ? std::vector<int>{5, 10} : std::vector<int>{5};
        QCOMPARE(r.w.toolkit.sleeps, pauses);
        QTest::qWait(350);  // the late release changes nothing

        // Pressing again goes on, on the port left open.
        r.unit.SetFault(sim::Fault::None);
        r.unit.SetReplyOverride(nullptr);
        r.w.toolkit.Clear();
        Hold(buttons[static_cast<std::size_t>(pair)], 0);
        QVERIFY(r.w.toolkit.boxes.empty());
        QCOMPARE(r.w.toolkit.sleeps.front(), 100);  // no open pause: the port was open
    }

    void circleSizePausesAfterItsDisplay()
    {
        Rig r;
        Hold(r.w.form.SizeButtons()[1], 0);
        QCOMPARE(r.w.toolkit.sleeps, (std::vector<int>{5, 100, 5, 10}));
    }

    void portThatDoesNotOpenEndsThePress()
    {
        Rig r;
        r.ports.Remove(3);
        r.ports.AddDangling(3);
        Hold(r.w.form.VerticalButtons()[1], 300);
        QCOMPARE(r.w.toolkit.BoxHeads(), QStringList{QStringLiteral("该串口不存在！")});
    }

    void pressInsideARunningLoop()
    {
        Rig r;
        r.w.toolkit.realSleep = true;
        NudgeButton *outer = r.w.form.HorizontalButtons()[0];
        NudgeButton *inner = r.w.form.SizeButtons()[0];
        QTimer::singleShot(300, inner, [inner] { QTest::mousePress(inner, Qt::LeftButton); });
        ReleaseAfter(inner, 800);
        QTest::mousePress(outer, Qt::LeftButton);
        const QList<QByteArray> frames = Frames(r.unit);
        const auto firstInner = frames.indexOf("55 D0 A2 00 FF 01 8C");
        QVERIFY(firstInner > 0);
        // Horizontal steps, then circle steps, and nothing after the one release.
        for (qsizetype i = 0; i < frames.size(); ++i)
            QCOMPARE(frames[i], QByteArray(i < firstInner ? "55 D0 A0 00 FF 01 8E" : "55 D0 A2 00 FF 01 8C"));
        QVERIFY(frames.size() - firstInner >= 2);
        QCOMPARE(r.w.form.ListIndex(0), 22 + static_cast<int>(firstInner));
        QCOMPARE(r.w.form.ListIndex(2), 25 + static_cast<int>(frames.size() - firstInner));
        QVERIFY(r.w.toolkit.boxes.empty());
    }

    void toggleDuringAHold()
    {
        Rig r;
        r.w.toolkit.realSleep = true;
        QTimer::singleShot(250, &r.w.form,
                           [&] { QTest::mouseClick(r.w.form.ToggleButtons()[1], Qt::LeftButton); });
        Hold(r.w.form.HorizontalButtons()[1], 600);
        const QList<QByteArray> frames = Frames(r.unit);
        QCOMPARE(frames.count("55 D0 A5 02 FF 01 89"), 1);
        QVERIFY(frames.count("55 D0 A0 01 FF 01 8F") >= 2);
        QCOMPARE(r.w.form.ListIndex(0), 22 - static_cast<int>(frames.count("55 D0 A0 01 FF 01 8F")));
        QVERIFY(r.w.toolkit.boxes.empty());
        QVERIFY(!r.w.form.Serial().PortOpen());
        QVERIFY(!r.unit.State().crosshairOn);
    }

    void closingTheWindowEndsAHold()
    {
        Rig r;
        r.w.toolkit.realSleep = true;
        r.w.form.show();
        QTimer::singleShot(300, &r.w.form, [&] { r.w.form.close(); });
        QTest::mousePress(r.w.form.HorizontalButtons()[0], Qt::LeftButton);  // no release ever comes
        QVERIFY(!r.unit.Requests().empty());
        QVERIFY(!r.w.form.isVisible());
    }
};

QTEST_MAIN(TestNudge)
#include "tst_nudge.moc"
