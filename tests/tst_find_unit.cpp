// 查找设备: a read (never a write) on every listed port, the first unit found chosen as a pick
// would, a cancel that answers at once and keeps the choice, ports freed since start-up tried.
#include "support/main_window.h"

#include <QTimer>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kRead = QStringLiteral("55 D0 A3 00 FF 01 8D");

}  // namespace

class TestFindUnit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

    void findTheUnit_data()
    {
        QTest::addColumn<QList<int>>("answering");
        QTest::addColumn<QString>("chosen");  // empty: the choice stays
        QTest::addColumn<QString>("said");
        QTest::newRow("one") << QList<int>{5} << "COM5"
                             << "在 COM5 上找到设备，已选用。";
        QTest::newRow("two") << QList<int>{5, 7} << "COM5"
                             << "找到 2 个设备：COM5、COM7\n已选用 COM5。";
        QTest::newRow("none") << QList<int>{} << ""
                              << "在 3 个串口上都没有找到设备。";
    }

    void findTheUnit()
    {
        QFETCH(QList<int>, answering);
        QFETCH(QString, chosen);
        QFETCH(QString, said);
        SimPorts ports;
        for (int com : {2, 5, 7})
            ports.Add(com).SetFault(answering.contains(com) ? sim::Fault::None : sim::Fault::Silent);
        Main m;
        m.window.Form().Actions().VerifyAfterSave = false;
        m.window.FindUnit();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{said});
        QCOMPARE(m.toolkit.progress.first(), QStringLiteral("正在查找设备：COM2（1/3） 0/3"));
        QCOMPARE(m.window.Form().Serial().CommPort(), chosen.isEmpty() ? 2 : chosen.mid(3).toInt());
        QCOMPARE(m.PortFile(),
                 QByteArray("\"" + (chosen.isEmpty() ? QByteArray("COM2") : chosen.toLatin1()) + "\"\r\n"));
        for (int com : {2, 5, 7})
            QCOMPARE(RequestFrames(ports.Unit(com)), QStringList{kRead});  // reads only
    }

    void findingCancelledKeepsTheChoice()
    {
        SimPorts ports;
        ports.Add(2).SetFault(sim::Fault::Silent);
        sim::SimUnit &unit = ports.Add(5);
        Main m;
        m.toolkit.cancelAtProgress = 1;  // while trying the first port
        m.window.FindUnit();
        QVERIFY(m.toolkit.boxes.empty());
        QCOMPARE(m.window.Form().Serial().CommPort(), 2);
        QVERIFY(unit.Received().empty());
    }

    // A port that floods holds its probe for the whole reply wait; Cancel does not wait for it.
    void cancelAnswersDuringAFlood()
    {
        SimPorts ports;
        ports.Add(2).SetFault(sim::Fault::Flood);
        Main m;
        QTimer::singleShot(300, [&m] { m.toolkit.cancelNow = true; });
        QElapsedTimer timer;
        timer.start();
        m.window.FindUnit();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(m.toolkit.boxes.empty());
        QVERIFY(m.window.StatusText().contains(" 查找设备已取消，串口不变 |"));
        // The probe let go still reads the port; the window's own next action waits for it
        // instead of finding its port "in use".
        m.window.Form().ToggleButtons()[0]->click();
        QCOMPARE(m.toolkit.BoxHeads(), QStringList{QStringLiteral("通信错误！")});
    }

    // A port another program held at start-up is listed once it is free.
    void portFreedAfterStartUpIsListed()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(3);
        auto other = std::make_unique<SerialControl>();
        other->SetCommPort(3);
        other->SetPortOpen(true);
        Main m;
        QCOMPARE(m.window.Form().PortList()->count(), 1);
        other.reset();
        m.window.Form().FollowPlug();
        QCOMPARE(m.window.Form().PortList()->itemText(1), QStringLiteral("COM3"));
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestFindUnit)
#include "tst_find_unit.moc"
