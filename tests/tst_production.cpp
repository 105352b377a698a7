// 生产模式: the station on the window's port, unit after unit, with its verdicts in the window's
// words.
#include "support/main_window.h"

#include "panel/program_files.h"

#include <QInputMethodEvent>
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
        QTRY_COMPARE_WITH_TIMEOUT(d->State()->text(), QStringLiteral("设置完毕，请取下设备"), 5000);
        ports.Remove(3);
        // The verdict and its reason stay in view while the operator changes the unit.
        QTRY_COMPARE_WITH_TIMEOUT(d->State()->text(), QStringLiteral("请接上下一台设备"), 5000);
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

    // A report path typed into its field is the report: 开始 asks for none.
    void typedReportPath()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        UserSettings().remove(QStringLiteral("reportFile"));
        ProductionDialog *d = m.window.ShowProduction();
        QVERIFY(QTest::qWaitForWindowActive(d));
        const QString typed = m.appDir.filePath(QStringLiteral("typed"));
        QTest::mouseClick(d->ReportField(), Qt::LeftButton);
        QTest::keyClicks(d->ReportField(), typed);
        QTest::mouseClick(d->StartButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("合格"), 5000);
        QVERIFY2(m.toolkit.events.isEmpty() || !m.toolkit.events.join(' ').contains("ask"),
                 qPrintable(m.toolkit.events.join(' ')));
        QVERIFY(QFile::exists(typed + ".csv"));
        d->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!d->Running(), 5000);
    }

    // Serial numbers scanned into the window: a scanner types into the field that has the focus
    // and presses Enter, and the first scan starts the station. The verdict names the unit; the
    // same number again is set up again and says so; an empty scan is refused and the unit waits.
    // Who and which lot are remembered for the next time.
    void scannedIntoTheWindow()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("shift"));
        UserSettings().remove(QStringLiteral("reportFile"));  // as on a new account
        ProductionDialog *d = m.window.ShowProduction();
        QVERIFY(QTest::qWaitForWindowActive(d));
        // Chinese comes through the input method, committed whole.
        QInputMethodEvent typed;
        typed.setCommitString(QStringLiteral("王芳"));
        QApplication::sendEvent(d->OperatorField(), &typed);
        QTest::keyClicks(d->LotField(), QStringLiteral("L-12"));
        QTest::mouseClick(d->ScanBox(), Qt::LeftButton, {}, QPoint(8, d->ScanBox()->height() / 2));
        QVERIFY(d->ScanBox()->isChecked());
        QCOMPARE(QApplication::focusWidget(), d->SerialField());
        // Scanned before a report is chosen: nothing starts, and no file dialog takes the keys.
        QTest::keyClicks(d->SerialField(), QStringLiteral("SN-7"));
        QTest::keyClick(d->SerialField(), Qt::Key_Return);
        QCOMPARE(d->State()->text(), QStringLiteral("请先选择报告文件，再扫描"));
        QVERIFY(!d->Running());
        QTest::mouseClick(d->ChooseButton(), Qt::LeftButton);
        d->SerialField()->setFocus();  // as the operator clicks into it
        QTest::keyClicks(d->SerialField(), QStringLiteral("SN-7"));
        QTest::keyClick(d->SerialField(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(d->Verdict()->text(), QStringLiteral("SN-7 合格"), 5000);
        // The unit keeps its serial number until it is taken away; the next one waits for its own.
        QTRY_COMPARE_WITH_TIMEOUT(d->State()->text(), QStringLiteral("设置完毕，请取下设备"), 5000);
        ports.Unit(3).SetPowered(false);
        QTRY_COMPARE_WITH_TIMEOUT(d->State()->text(), QStringLiteral("请接上下一台设备"), 10000);
        ports.Unit(3).SetPowered(true);
        QTRY_COMPARE_WITH_TIMEOUT(d->State()->text(), QStringLiteral("请扫描设备的序列号"), 5000);
        QTest::keyClick(d->SerialField(), Qt::Key_Return);
        QCOMPARE(d->State()->text(), QStringLiteral("序列号不能用：扫描的序列号是空的，请重新扫描"));
        QTest::keyClicks(d->SerialField(), QStringLiteral("SN-7"));
        QTest::keyClick(d->SerialField(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(d->Reason()->text(),
                                  QStringLiteral("第 2 台合格，请取下设备（这个序列号之前设置过：第 1 台）"),
                                  5000);
        QCOMPARE(
            d->Figures()->text(),
            QStringLiteral("报告共 2 台：合格 2，不合格 0，错误 0；一次合格率 100.0%（1/1）；重复设置 1 台"));
        d->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!d->Running(), 5000);
        const QPointer<ProductionDialog> closing(d);
        d->close();
        QTRY_VERIFY(!closing);
        ProductionDialog *again = m.window.ShowProduction();
        QCOMPARE(again->OperatorField()->text(), QStringLiteral("王芳"));
        QCOMPARE(again->LotField()->text(), QStringLiteral("L-12"));
        QVERIFY(again->ScanBox()->isChecked());
        // The next shift scans at once: the field has the focus, and its Enter presses no button.
        QVERIFY(QTest::qWaitForWindowActive(again));
        QCOMPARE(QApplication::focusWidget(), again->SerialField());
        QTest::keyClicks(again->SerialField(), QStringLiteral("SN-8"));
        QTest::keyClick(again->SerialField(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(again->Verdict()->text(), QStringLiteral("SN-8 合格"), 5000);
        QVERIFY(again->Running());
        again->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!again->Running(), 5000);
        QVERIFY(m.toolkit.boxes.empty());
        // A lot a spreadsheet opening the report would run as a formula starts nothing.
        again->LotField()->setFocus();
        QTest::keyClick(again->LotField(), Qt::Key_Home);
        QTest::keyClicks(again->LotField(), QStringLiteral("="));
        QTest::mouseClick(again->StartButton(), Qt::LeftButton);
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{"操作员或批号：以 = 开头，表格程序会把它当作公式"});
        QVERIFY(!again->Running());
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestProduction)
#include "tst_production.moc"
