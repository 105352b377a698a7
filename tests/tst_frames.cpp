// Frames, check bytes and reply tests against the unit's published frame table.
#include "protocol/frames.h"
#include "support/hex.h"

#include <QtTest>

using namespace kv306;
using kv306::test::Hex;

class TestFrames : public QObject {
    Q_OBJECT
private slots:
    void commandFrames_data()
    {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("arg");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("StepHorizontal 0") << 0xA0 << 0 << QByteArray("55 D0 A0 00 FF 01 8E");
        QTest::newRow("StepHorizontal 1") << 0xA0 << 1 << QByteArray("55 D0 A0 01 FF 01 8F");
        QTest::newRow("StepVertical 0") << 0xA1 << 0 << QByteArray("55 D0 A1 00 FF 01 8F");
        QTest::newRow("StepVertical 1") << 0xA1 << 1 << QByteArray("55 D0 A1 01 FF 01 8E");
        QTest::newRow("StepCircleSize 0") << 0xA2 << 0 << QByteArray("55 D0 A2 00 FF 01 8C");
        QTest::newRow("StepCircleSize 1") << 0xA2 << 1 << QByteArray("55 D0 A2 01 FF 01 8D");
        QTest::newRow("ReadParams") << 0xA3 << 0 << QByteArray("55 D0 A3 00 FF 01 8D");
        QTest::newRow("ToggleOverlay") << 0xA4 << 2 << QByteArray("55 D0 A4 02 FF 01 88");
        QTest::newRow("ToggleCrosshair") << 0xA5 << 2 << QByteArray("55 D0 A5 02 FF 01 89");
    }
    void commandFrames()
    {
        QFETCH(int, op);
        QFETCH(int, arg);
        QFETCH(QByteArray, wire);
        QCOMPARE(Hex(CommandFrame(static_cast<Op>(op), arg)), wire);
    }

    void parameterFrames_data()
    {
        QTest::addColumn<QList<int>>("params");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("start-up lists")
            << QList<int>{13, 20, 0, 0, 3, 0} << QByteArray("55 EE 00 00 FF 0D 14 00 00 03 00 1A");
        QTest::newRow("every list at its end")
            << QList<int>{63, 63, 51, 1, 3, 1} << QByteArray("55 EE 00 00 FF 3F 3F 33 01 03 01 30");
        // The check covers the parameters only, never the header.
        QTest::newRow("all zero") << QList<int>{0, 0, 0, 0, 0, 0}
                                  << QByteArray("55 EE 00 00 FF 00 00 00 00 00 00 00");
    }
    void parameterFrames()
    {
        QFETCH(QList<int>, params);
        QFETCH(QByteArray, wire);
        Params p{};
        std::copy(params.begin(), params.end(), p.begin());
        QCOMPARE(Hex(ParameterFrame(p).value()), wire);
    }

    void valuesOutsideAByteAreRefused()
    {
        QVERIFY(!ParameterFrame({-1, 20, 0, 0, 3, 0}));
        QVERIFY(!ParameterFrame({0, 0, 0, 0, 0, 256}));
        QCOMPARE(ParameterFrame({255, 0, 0, 0, 0, 0})->at(5), 255);
        QCOMPARE(ParameterFrame({0, 0, 0, 0, 0, 0})->at(5), 0);
    }

    void sentFrameDisplay()
    {
        const QString read = SentFrameDisplay(CommandFrame(Op::ReadParams, 0));
        QCOMPARE(read, QStringLiteral("  55  D0  A3  00  FF  01  8D"));
        QCOMPARE(read.size(), 28);
        const QString save = SentFrameDisplay(ParameterFrame({13, 20, 0, 0, 3, 0}).value());
        QCOMPARE(save, QStringLiteral("  55  EE  00  00  FF  0D  14  00  00  03  00  1A"));
        QCOMPARE(save.size(), 48);
    }

    void replies()
    {
        QVERIFY(IsAcknowledgement({0x99}));
        QVERIFY(!IsAcknowledgement({0x98}));
        QVERIFY(!IsAcknowledgement({}));
        QVERIFY(!IsAcknowledgement({0x99, 0x99}));

        QVERIFY(IsEchoReply({0xA4, 0xA4}));
        QVERIFY(IsEchoReply({0x00, 0x00}));
        QVERIFY(IsEchoReply({0xFF, 0xFF}));
        QVERIFY(!IsEchoReply({0xA4, 0xA5}));
        QVERIFY(!IsEchoReply({0x07}));

        QVERIFY(IsParameterReply({0x0D, 0x14, 0x19, 0x01, 0x02, 0x01, 0x02}));
        QVERIFY(!IsParameterReply({0x0D, 0x14, 0x19, 0x01, 0x02, 0x01, 0x03}));
        QVERIFY(IsParameterReply({0, 0, 0, 0, 0, 0, 0}));
        QVERIFY(!IsParameterReply({0, 0, 0, 0, 0, 0}));

        QVERIFY(ParamsInRange({63, 63, 51, 1, 3, 1, 0}));
        QVERIFY(!ParamsInRange({64, 0, 0, 0, 0, 0, 0}));
        QVERIFY(!ParamsInRange({0, 0, 52, 0, 0, 0, 0}));
        QVERIFY(!ParamsInRange({0, 0, 0, 2, 0, 0, 0}));
        QVERIFY(!ParamsInRange({0, 0, 0, 0, 4, 0, 0}));
        QVERIFY(!ParamsInRange({0, 0, 0, 0, 0, 2, 0}));
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
