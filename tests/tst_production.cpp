// 生产模式: the station on the window's port, unit after unit, with its verdicts in the window's
// words.
#include "support/main_window.h"

#include <QtTest>

using namespace kv306;
using namespace kv306::test;

class TestProduction : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

    // 生产模式: a unit that passes, then, plugged in its place, one that mis-stores: each has its
    // verdict, its reason in the window's words and its row; the window rests while it runs.
    void productionModeUnitAfterUnit()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("line 3"));
        ProductionDialog *d = m.window.ShowProduction();
        QVERIFY(d);
        d->ChooseReport();
        d->Start();
        QVERIFY(!m.window.Form().isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("合格"), 5000);
        ports.Remove(3);
        // The verdict and its reason stay in view while the operator changes the unit.
        QTRY_VERIFY_WITH_TIMEOUT(!d->State()->text().isEmpty(), 5000);
        QCOMPARE(d->Verdict()->text(), QStringLiteral("合格"));
        QCOMPARE(d->Reason()->text(), QStringLiteral("第 1 台合格，请取下设备"));
        sim::SimOptions misStoring = SimPorts::Instant();
        misStoring.fault = sim::Fault::MisStore;
        ports.Add(3, misStoring);
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("不合格"), 5000);
        const Params wanted = m.window.Form().Lists();
        QCOMPARE(d->Reason()->text(), QStringLiteral("已写入，校验不符：%1为 %2，应为 %3")
                                          .arg(m.window.Form().ListCaption(2))
                                          .arg(wanted[2] - 1)
                                          .arg(wanted[2]));
        QCOMPARE(d->Count()->text(), QStringLiteral("已检 2 台：合格 1，不合格 1"));
        QCOMPARE(d->Rows()->rowCount(), 2);
        // A unit pulled after it acknowledged the write was written, as kv306ctl says.
        StationRow pulled;
        pulled.kind = StationRow::Kind::Error;
        pulled.detail.failure = Failure::Port;
        pulled.detail.errorNumber = 8002;
        pulled.detail.acknowledged = true;
        QCOMPARE(d->ReasonWords(pulled), QStringLiteral("已写入，校验失败：错误 8002 该串口不存在！"));
        d->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!d->Running(), 5000);
        QVERIFY(m.window.Form().isEnabled());
        QFile report(m.toolkit.fileAnswer + QStringLiteral(".csv"));
        QVERIFY(report.open(QIODevice::ReadOnly));
        QCOMPARE(report.readAll().count('\n'), 3);  // the header and two rows
        QVERIFY(m.toolkit.boxes.empty());
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestProduction)
#include "tst_production.moc"
