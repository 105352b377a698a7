// Toggles, save and read through the real window against the simulated unit: exact bytes on the
// wire, the sent-frame field, every message and whether the port was open while it showed.
#include "support/rig.h"
#include "support/sim_ports.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kCommError = QStringLiteral("通信错误！");

}  // namespace

class TestActions : public QObject {
    Q_OBJECT
private slots:
    void toggles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("display");
        QTest::newRow("叠加开关") << 0 << QByteArray("55 D0 A4 02 FF 01 88")
                                  << "  55  D0  A4  02  FF  01  88";
        QTest::newRow("十字线开关") << 1 << QByteArray("55 D0 A5 02 FF 01 89")
                                    << "  55  D0  A5  02  FF  01  89";
    }
    void toggles()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, wire);
        QFETCH(QString, display);
        Rig r(SimPorts::LinePace());
        const Params before = r.Lists();
        QTest::mouseClick(r.w.form.ToggleButtons()[static_cast<std::size_t>(index)], Qt::LeftButton);
        QCOMPARE(r.Wire(), wire);
        QCOMPARE(r.w.form.SentFrameField()->text(), display);
        QVERIFY(r.w.toolkit.boxes.empty());
        QVERIFY(!r.w.form.Serial().PortOpen());
        QCOMPARE(r.w.toolkit.sleeps, (std::vector<int>{5, 100, 5, 10}));
        // A second click sends the same frame again; the lists never move.
        QTest::mouseClick(r.w.form.ToggleButtons()[static_cast<std::size_t>(index)], Qt::LeftButton);
        QCOMPARE(r.Wire(), wire + ' ' + wire);
        QCOMPARE(r.Lists(), before);
        const sim::UnitState state = r.unit.State();
        QCOMPARE(index == 0 ? state.overlayOn : state.crosshairOn, true);  // flipped twice
    }

    void toggleEchoes_data()
    {
        QTest::addColumn<QByteArray>("echo");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("A4 A4") << QByteArray("\xA4\xA4") << true;
        QTest::newRow("00 00") << QByteArray("\x00\x00", 2) << true;
        QTest::newRow("FF FF") << QByteArray("\xFF\xFF") << true;
        QTest::newRow("A4 A5") << QByteArray("\xA4\xA5") << false;
        QTest::newRow("one byte") << QByteArray("\xA4") << false;
        QTest::newRow("no echo") << QByteArray() << false;
    }
    void toggleEchoes()
    {
        QFETCH(QByteArray, echo);
        QFETCH(bool, accepted);
        Rig r;
        r.Reply(sim::Bytes(echo.begin(), echo.end()));
        r.w.form.SentFrameField()->setText(QStringLiteral("earlier"));
        r.w.form.Actions().ToggleClick(0);
        if (accepted) {
            QVERIFY(r.w.toolkit.boxes.empty());
            QCOMPARE(r.w.form.SentFrameField()->text().size(), 28);
        } else {
            QCOMPARE(r.w.toolkit.BoxHeads(), QStringList{kCommError});
            QCOMPARE(r.w.toolkit.boxes[0].code, 0);
            QCOMPARE(r.w.toolkit.boxes[0].title.value_or(QStringLiteral("<application>")), QString());
            QVERIFY(!r.w.toolkit.boxes[0].portOpen);  // closed before the message
            QCOMPARE(r.w.form.SentFrameField()->text(), QString());
        }
        QVERIFY(!r.w.form.Serial().PortOpen());
    }

    void saves_data()
    {
        QTest::addColumn<QList<int>>("lists");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("13 20 0 PAL 3 保留")
            << QList<int>{13, 20, 0, 0, 3, 0} << QByteArray("55 EE 00 00 FF 0D 14 00 00 03 00 1A");
        QTest::newRow("63 63 51 NTSC 3 去除")
            << QList<int>{63, 63, 51, 1, 3, 1} << QByteArray("55 EE 00 00 FF 3F 3F 33 01 03 01 30");
        QTest::newRow("all first entries")
            << QList<int>{0, 0, 0, 0, 0, 0} << QByteArray("55 EE 00 00 FF 00 00 00 00 00 00 00");
    }
    void saves()
    {
        QFETCH(QList<int>, lists);
        QFETCH(QByteArray, wire);
        Rig r(SimPorts::LinePace());
        Params p{};
        std::copy(lists.begin(), lists.end(), p.begin());
        r.SetLists(p);
        QTest::mouseClick(r.w.form.SaveButton(), Qt::LeftButton);
        QCOMPARE(r.Wire(), wire);
        QCOMPARE(r.w.toolkit.BoxTexts(), QStringList{QStringLiteral("OK！")});
        QVERIFY(r.w.toolkit.boxes[0].portOpen);  // closed only once the box is closed
        QVERIFY(!r.w.form.Serial().PortOpen());
        QCOMPARE(r.w.form.SentFrameField()->text().size(), 48);
        QCOMPARE(
            r.w.form.SentFrameField()->text().remove(0, 2).split(QStringLiteral("  ")).join(' ').toLatin1(),
            wire);
        std::array<std::uint8_t, 6> stored{};
        std::copy(p.begin(), p.end(), stored.begin());
        QCOMPARE(r.unit.State().params, stored);

        // The same selections again: the same frame again.
        QTest::mouseClick(r.w.form.SaveButton(), Qt::LeftButton);
        QCOMPARE(r.Wire(), wire + ' ' + wire);
    }

    void saveNotAcknowledged_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("linePace");
        QTest::newRow("0x98") << int(sim::Fault::BadAck) << false;
        QTest::newRow("no reply") << int(sim::Fault::Silent) << false;
        QTest::newRow("two bytes") << int(sim::Fault::Extra) << false;
        // The second byte a millisecond behind the first: still one too many.
        QTest::newRow("two bytes at line pace") << int(sim::Fault::Extra) << true;
    }
    void saveNotAcknowledged()
    {
        QFETCH(int, fault);
        QFETCH(bool, linePace);
        Rig r(linePace ? SimPorts::LinePace() : SimPorts::Instant());
        r.unit.SetFault(static_cast<sim::Fault>(fault));
        r.w.form.SentFrameField()->setText(QStringLiteral("  55  D0  A4  02  FF  01  88"));
        r.w.form.Actions().SaveClick();
        QCOMPARE(r.w.toolkit.BoxHeads(), QStringList{kCommError});
        QVERIFY(r.w.toolkit.boxes[0].portOpen);
        QVERIFY(!r.w.form.Serial().PortOpen());
        QCOMPARE(r.w.form.SentFrameField()->text(),
                 QStringLiteral("  55  D0  A4  02  FF  01  88"));  // untouched
    }

    // A byte the unit sent unasked while the port stood open is no acknowledgement.
    void strayByteIsNoAcknowledgement()
    {
        sim::SimOptions options = SimPorts::Instant();
        options.fault = sim::Fault::Stray;
        options.strayEveryMs = 150;
        Rig r(options);
        r.w.WritePortFile("\"COM3\"\r\n");
        QVERIFY(r.w.form.Load());  // the remembered port stays open
        r.w.toolkit.Clear();
        QTest::qWait(250);
        r.unit.SetFault(sim::Fault::None);  // no more strays: the next byte would be an answer
        r.unit.SetReplyOverride([](const sim::Bytes &) { return std::nullopt; });
        r.w.form.Actions().SaveClick();
        QCOMPARE(r.w.toolkit.BoxTexts(), QStringList{kCommError});
    }

    // A typed value that names no entry goes back, the operator is told, and the button pressed
    // sends nothing, however it was pressed: clicked (the list loses the focus to the button
    // first), from the keyboard, or an arrow held. The operator meant another value than the one
    // the list shows now; pressed again once seen, it sends.
    void typedValueOutsideTheList_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("mouse") << "mouse";
        QTest::newRow("keyboard") << "keyboard";
        QTest::newRow("arrow held") << "arrow";
    }
    void typedValueOutsideTheList()
    {
        QFETCH(QString, how);
        Rig r;
        r.SetLists({12, 20, 25, 0, 3, 0});
        r.w.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&r.w.form));
        QSignalSpy noted(&r.w.form, &Form1::Noted);
        DropList *list = r.w.form.ParamLists()[0];
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(list, QStringLiteral("99"));
        QCOMPARE(list->currentText(), QStringLiteral("99"));
        const auto press = [&] {
            if (how == "mouse") {
                QTest::mouseClick(r.w.form.SaveButton(), Qt::LeftButton);
            } else if (how == "keyboard") {
                r.w.form.SaveButton()->setFocus();
                QTest::keyClick(r.w.form.SaveButton(), Qt::Key_Space);
            } else {
                // Released while the press is stepping, at the first chance.
                QWidget *arrow = r.w.form.HorizontalButtons()[0];
                QTimer::singleShot(0, arrow, [arrow] { QTest::mouseRelease(arrow, Qt::LeftButton); });
                QTest::mousePress(arrow, Qt::LeftButton);
            }
        };
        press();
        QVERIFY(r.unit.Received().empty());
        QVERIFY(r.w.toolkit.boxes.empty());
        QCOMPARE(list->currentText(), QStringLiteral("12"));
        QCOMPARE(r.w.form.Notice(), QStringLiteral("99 不是水平偏移的取值（0–63），已改回 12。"));
        QCOMPARE(noted.takeLast().value(0).toString(),
                 QStringLiteral("99 不是水平偏移的取值（0–63），已改回 12。没有发送。"));
        press();  // seen, and pressed again
        QVERIFY(!r.unit.Received().empty());
        QCOMPARE(r.unit.State().params[0], how == "arrow" ? 23 : 12);  // the unit held 22
    }

    void readBack()
    {
        Rig r(SimPorts::LinePace());
        // PAL in the window, NTSC in the unit: the preset must not overwrite what was read.
        r.Reply({0x0D, 0x14, 0x19, 0x01, 0x02, 0x01, 0x02});
        r.w.form.SentFrameField()->setText(QStringLiteral("old"));
        QTest::mouseClick(r.w.form.ReadButton(), Qt::LeftButton);
        QCOMPARE(r.Wire(), QByteArray("55 D0 A3 00 FF 01 8D"));
        QCOMPARE(r.w.toolkit.BoxTexts(), QStringList{QStringLiteral("读出成功！")});
        QVERIFY(!r.w.toolkit.boxes[0].portOpen);
        QCOMPARE(r.Lists(), (Params{13, 20, 25, 1, 2, 1}));
        QCOMPARE(r.w.form.ParamLists()[3]->currentText(), QStringLiteral("NTSC"));
        QCOMPARE(r.w.form.ParamLists()[5]->currentText(), QStringLiteral("去除"));
        QCOMPARE(r.w.form.SentFrameField()->text(), QStringLiteral("  55  D0  A3  00  FF  01  8D"));
        // The window is still the operator's: picking a standard presets again afterwards.
        r.w.form.ParamLists()[3]->SetListIndex(0);
        QCOMPARE(r.Lists(), (Params{22, 20, 25, 0, 3, 1}));
    }

    void readSevenZeros()
    {
        Rig r;
        r.SetLists({5, 6, 7, 1, 2, 1});
        r.Reply({0, 0, 0, 0, 0, 0, 0});
        r.w.form.Actions().ReadClick();
        QCOMPARE(r.w.toolkit.BoxTexts(), QStringList{QStringLiteral("读出成功！")});
        QCOMPARE(r.Lists(), (Params{0, 0, 0, 0, 0, 0}));
        QCOMPARE(r.w.form.ParamLists()[3]->currentText(), QStringLiteral("PAL"));
        QCOMPARE(r.w.form.ParamLists()[5]->currentText(), QStringLiteral("保留"));
    }

    void readRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");  // empty: the unit says nothing
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong check") << QByteArray("\x0D\x14\x19\x01\x02\x01\x03") << kCommError;
        QTest::newRow("no reply") << QByteArray() << QStringLiteral("通信错误！1");
        QTest::newRow("six bytes") << QByteArray("\x0D\x14\x19\x01\x02\x01") << QStringLiteral("通信错误！1");
        QTest::newRow("offset 64") << QByteArray("\x40\x14\x19\x01\x02\x01\x4F") << kCommError;
        QTest::newRow("circle 52") << QByteArray("\x00\x00\x34\x00\x00\x00\x34", 7) << kCommError;
        QTest::newRow("standard 2") << QByteArray("\x00\x00\x00\x02\x00\x00\x02", 7) << kCommError;
        QTest::newRow("roundness 4") << QByteArray("\x00\x00\x00\x00\x04\x00\x04", 7) << kCommError;
        QTest::newRow("crosshair 2") << QByteArray("\x00\x00\x00\x00\x00\x02\x02", 7) << kCommError;
    }
    void readRefused()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        Rig r;
        const Params before{30, 31, 32, 1, 2, 1};
        r.SetLists(before);
        if (reply.isEmpty())
            r.unit.SetFault(sim::Fault::Silent);
        else
            r.Reply(sim::Bytes(reply.begin(), reply.end()));
        r.w.form.SentFrameField()->setText(QStringLiteral("old"));
        r.w.form.Actions().ReadClick();
        QCOMPARE(r.w.toolkit.BoxHeads(), QStringList{message});
        QVERIFY(!r.w.toolkit.boxes[0].portOpen);
        QCOMPARE(r.Lists(), before);  // no list touched
        QCOMPARE(r.w.form.SentFrameField()->text(), QString());
    }

    void saveThenReadBack()
    {
        Rig r;
        r.SetLists({40, 41, 42, 1, 0, 1});
        r.w.form.Actions().SaveClick();
        r.SetLists({1, 2, 3, 0, 3, 0});
        r.w.form.Actions().ReadClick();
        QCOMPARE(r.w.toolkit.BoxTexts(), (QStringList{QStringLiteral("OK！"), QStringLiteral("读出成功！")}));
        QCOMPARE(r.Lists(), (Params{40, 41, 42, 1, 0, 1}));
    }

    // A port that does not open: OpenLink has said so; the action stops without a second box
    // and without writing to the closed port.
    void portThatDoesNotOpen()
    {
        Rig r;
        r.ports.Remove(3);
        r.ports.AddDangling(3);
        r.w.form.Actions().ToggleClick(1);
        r.w.form.Actions().SaveClick();
        r.w.form.Actions().ReadClick();
        const QString gone = QStringLiteral("该串口不存在！");
        QCOMPARE(r.w.toolkit.BoxHeads(), (QStringList{gone, gone, gone}));
        // Below the control's own text: which port, and what to do.
        QCOMPARE(
            r.w.toolkit.boxes[0].text.section('\n', 1),
            QStringLiteral("COM3（%1） 不存在：请检查 USB 转串口转接器是否插好，或在“选择串口”中换一个串口。")
                .arg(r.ports.LinkPath(3)));
        for (const Box &b : r.w.toolkit.boxes) {
            QCOMPARE(b.code, 16);
            QCOMPARE(b.title.value_or(QString()), QStringLiteral("错误"));
        }
    }

    void adapterPulledMidReply()
    {
        Rig r;
        r.unit.SetFault(sim::Fault::HangUp);
        r.w.form.Actions().ReadClick();
        // The control's English text, then what it means in the window's language.
        QCOMPARE(
            r.w.toolkit.BoxTexts(),
            QStringList{QStringLiteral("Error reading comm device\n与 COM3（%1） 的连接断了：转接器可能被拔出"
                                       "了。插好后再试一次。")
                            .arg(r.ports.LinkPath(3))});
        QVERIFY(!r.w.form.Serial().PortOpen());
        QCOMPARE(r.w.form.SentFrameField()->text(), QString());

        // Plugged in again: the next click works.
        r.ports.Remove(3);
        r.ports.Add(3);
        r.w.toolkit.Clear();
        r.w.form.Actions().ToggleClick(0);
        QVERIFY(r.w.toolkit.boxes.empty());
        QCOMPARE(r.w.form.SentFrameField()->text(), QStringLiteral("  55  D0  A4  02  FF  01  88"));
    }

    void adapterPulledWhileThePortIsOpen()
    {
        SimPorts ports;
        ports.Add(3);
        Window w;
        w.toolkit.realSleep = false;
        w.WritePortFile("\"COM3\"\r\n");
        QVERIFY(w.form.Load());
        QVERIFY(w.form.Serial().PortOpen());  // the remembered port stays open after start-up
        ports.Remove(3);
        QTest::qWait(50);                      // the window idles meanwhile
        QVERIFY(!w.form.Serial().PortOpen());  // closed on the first fault, not read from for ever
        w.form.Actions().SaveClick();
        QCOMPARE(w.toolkit.boxes.size(), 1u);
        QCOMPARE(w.toolkit.boxes[0].code, 16);
        QVERIFY(!w.form.Serial().PortOpen());

        ports.Add(3);
        w.toolkit.Clear();
        w.form.Actions().SaveClick();
        QCOMPARE(w.toolkit.BoxTexts(), QStringList{QStringLiteral("OK！")});
    }
};

QTEST_MAIN(TestActions)
#include "tst_actions.moc"
