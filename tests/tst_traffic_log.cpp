// The traffic log: every exchange recorded with its meaning, the last 5000 kept.
#include "panel/log_window.h"
#include "support/main_window.h"

#include <QtTest>

using namespace kv306;
using namespace kv306::test;

class TestTrafficLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

    void logRecordsEveryExchange()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        UnitActions &a = m.window.Form().Actions();
        a.ReadClick();
        a.SaveClick();
        unit.SetFault(sim::Fault::UnequalEcho);
        a.ToggleClick(1);
        unit.SetFault(sim::Fault::Silent);
        a.ToggleClick(0);
        unit.SetFault(sim::Fault::CorruptCheck);
        a.ReadClick();
        unit.SetFault(sim::Fault::Partial);
        a.ReadClick();
        ports.Remove(3);
        a.ToggleClick(0);
        QStringList seen;
        for (const LogEntry &e : m.window.Log().Entries())
            seen << e.port + " | " + e.sent + " | " + e.sentMeaning + " | " + e.reply + " | " +
                        e.replyMeaning;
        QCOMPARE(
            seen,
            (QStringList{
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 18 | 六个参数 22 20 25 PAL 3 "
                "保留",
                "COM3 | 55 EE 00 00 FF 16 14 19 00 03 00 18 | 保存参数 22 20 25 PAL 3 保留 | 99 | 已保存",
                "COM3 | 55 D0 A5 02 FF 01 89 | 十字线开关 | 00 01 | 回显不等",
                "COM3 | 55 D0 A4 02 FF 01 88 | 叠加开关 |  | 无应答",
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 19 | 校验错误",
                "COM3 | 55 D0 A3 00 FF 01 8D | 读出参数 | 16 14 19 00 03 00 | 收到 6 个字节，应为 7 个",
                "COM3 |  |  |  | 错误 8002 该串口不存在！",
            }));
        QVERIFY(m.window.Log().Entries()[0].ms >= 0);

        // Opened later, the log window shows what came before, and saves it as text.
        LogWindow &w = m.window.ShowLog();
        QCOMPARE(w.Model().rowCount(), 7);
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("log.txt"));
        w.SaveAs();
        QFile saved(m.toolkit.fileAnswer);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.size(), 9);  // header, seven, and the last line's end
        QVERIFY(lines[2].contains("\t保存参数 22 20 25 PAL 3 保留\t99\t已保存\t"));
        // ISO 8601 times: the date, a T, milliseconds.
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t"))
                     .match(QString::fromUtf8(lines[1]))
                     .hasMatch(),
                 lines[1].constData());
    }

    void logKeepsTheLast5000()
    {
        TrafficLog log;
        Outcome o;
        Traffic t;
        t.sent = {0x55};
        t.expected = 1;
        o.traffic.push_back(t);
        TrafficModel model(log);
        for (int i = 0; i < 5003; ++i) {
            o.traffic[0].sent[0] = static_cast<std::uint8_t>(i);
            log.Record(QStringLiteral("COM%1").arg(i), o);
            if (i == 10 || i == 5002)
                model.Refresh();
        }
        QCOMPARE(log.Size(), 5000u);
        QCOMPARE(log.Entries().front().port, QStringLiteral("COM3"));
        QCOMPARE(model.rowCount(), 5000);
        QCOMPARE(model.data(model.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("COM3"));
        log.Clear();
        model.Refresh();
        QCOMPARE(model.rowCount(), 0);
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestTrafficLog)
#include "tst_traffic_log.moc"
