// The six parameters as words: KEY=VALUE on a command line and profiles in files, good and bad.
// Every refusal names what is wrong; nothing half-read is ever taken.
#include "protocol/params_text.h"

#include <QtTest>

using namespace kv306;

namespace {

QByteArray Profile(const QByteArray &inside)
{
    return "{\"format\": \"kv306-profile\", \"version\": 1, " + inside + "}";
}

const QByteArray kSix = "\"horizontal\": 1, \"vertical\": 2, \"size\": 3, \"standard\": \"NTSC\", "
                        "\"roundness\": 0, \"outside\": \"remove\"";

}  // namespace

class TestParamsText : public QObject {
    Q_OBJECT
private slots:
    // `said` is the values taken ("1 2 3 1 0 1"), or a fragment of the refusal.
    void profiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("said");
        QTest::newRow("good") << Profile(kSix) << "1 2 3 1 0 1";
        QTest::newRow("limits") << Profile("\"horizontal\": 63, \"vertical\": 0, \"size\": 51, \"standard\": "
                                           "\"PAL\", \"roundness\": 3, \"outside\": \"keep\"")
                                << "63 0 51 0 3 0";
        QTest::newRow("size 52") << Profile(QByteArray(kSix).replace("\"size\": 3", "\"size\": 52"))
                                 << "超出范围";
        QTest::newRow("22.0") << Profile(QByteArray(kSix).replace("\"size\": 3", "\"size\": 3.0"))
                              << "必须是整数";
        QTest::newRow("2.2e1") << Profile(QByteArray(kSix).replace("\"size\": 3", "\"size\": 2.2e1"))
                               << "必须是整数";
        QTest::newRow("a number for a name")
            << Profile(QByteArray(kSix).replace("\"NTSC\"", "1")) << "必须是字符串";
        QTest::newRow("SECAM") << Profile(QByteArray(kSix).replace("NTSC", "SECAM")) << "超出范围";
        QTest::newRow("a key missing") << Profile("\"horizontal\": 1") << "缺少键 \"vertical\"";
        QTest::newRow("a key twice") << Profile(kSix + ", \"size\": 4") << "键 \"size\" 出现了两次";
        QTest::newRow("an unknown key") << Profile(kSix + ", \"width\": 4") << "未知的键 \"width\"";
        QTest::newRow("version 1.0") << QByteArray("{\"format\": \"kv306-profile\", \"version\": 1.0, " +
                                                   kSix + "}")
                                     << "\"version\" 不是 1";
        QTest::newRow("another format")
            << QByteArray("{\"format\": \"x\", \"version\": 1, " + kSix + "}") << "\"format\" 不是";
        QTest::newRow("not JSON") << QByteArray("horizontal=1") << "不是 JSON";
        QTest::newRow("an array") << QByteArray("[1, 2]") << "不是 JSON 对象";
        QTest::newRow("NUL") << Profile(kSix) + QByteArray(1, '\0') << "NUL";
        QTest::newRow("not UTF-8") << Profile(kSix + ", \"x\": \"\xff\"") << "UTF-8";
        QTest::newRow("too large") << Profile(kSix) + QByteArray(64 * 1024, ' ') << "64 KiB";
    }
    void profiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, said);
        const Checked<Params> p = ParseProfile(content);
        if (!p) {
            QVERIFY2(p.reason.contains(said), qPrintable(p.reason));
            return;
        }
        QStringList values;
        for (int v : *p)
            values << QString::number(v);
        QCOMPARE(values.join(' '), said);
        QCOMPARE(ParseProfile(ProfileJson(*p)).value, p.value);  // written back, read the same
    }

    void assignments_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("said");  // the keys named and the values, or the refusal
        QTest::newRow("two keys") << QStringList{"size=30", "standard=NTSC"} << "size=30 standard=1";
        QTest::newRow("named values")
            << QStringList{"outside=remove", "standard=PAL"} << "standard=0 outside=1";
        QTest::newRow("unknown key") << QStringList{"width=3"} << "unknown key 'width'";
        QTest::newRow("no value") << QStringList{"size"} << "'size' needs a value: size=VALUE";
        QTest::newRow("out of range") << QStringList{"size=52"} << "size=52 is out of range (0-51)";
        QTest::newRow("sign") << QStringList{"size=+3"} << "size=+3 is out of range";
        QTest::newRow("full-width digit") << QStringList{"size=３"} << "is out of range";
        QTest::newRow("a word's case")
            << QStringList{"standard=pal"} << "standard=pal is out of range (PAL|NTSC)";
        QTest::newRow("twice") << QStringList{"size=1", "size=2"} << "'size' given twice";
    }
    void assignments()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, said);
        const Checked<Assignments> a = ParseAssignments(words);
        if (!a) {
            QVERIFY2(a.reason.contains(said), qPrintable(a.reason));
            return;
        }
        QStringList named;
        for (int k = 0; k < kParamCount; ++k) {
            if (a->named[static_cast<std::size_t>(k)])
                named << QStringLiteral("%1=%2")
                             .arg(QLatin1String(Param(k).key))
                             .arg(a->params[static_cast<std::size_t>(k)]);
        }
        QCOMPARE(named.join(' '), said);
    }
};

QTEST_GUILESS_MAIN(TestParamsText)
#include "tst_params_text.moc"
