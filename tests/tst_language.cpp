// The window in English: which locale chooses it, every caption and entry fits its control,
// and what the operator is told comes in English too.
#include "support/rig.h"

#include "link/comm_error.h"
#include "panel/language.h"
#include "panel/main_window.h"
#include "protocol/report_figures.h"

#include <QDialogButtonBox>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

const QRegularExpression
    kChinese(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

}  // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void whichLanguage_data()
    {
        QTest::addColumn<QByteArray>("kv306Lang");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("en_US") << QByteArray() << "en_US"
                               << "en";
        QTest::newRow("en_GB") << QByteArray() << "en_GB"
                               << "en";
        QTest::newRow("C") << QByteArray() << "C"
                           << "zh";
        QTest::newRow("zh_CN") << QByteArray() << "zh_CN"
                               << "zh";
        QTest::newRow("zh_TW") << QByteArray() << "zh_TW"
                               << "zh";
        QTest::newRow("de_DE") << QByteArray() << "de_DE"
                               << "en";
        QTest::newRow("fr_FR") << QByteArray() << "fr_FR"
                               << "en";
        QTest::newRow("POSIX") << QByteArray() << "POSIX"
                               << "zh";
        QTest::newRow("KV306_LANG=en") << QByteArray("en") << "C"
                                       << "en";
        QTest::newRow("KV306_LANG=zh") << QByteArray("zh") << "en_US"
                                       << "zh";
    }
    void whichLanguage()
    {
        QFETCH(QByteArray, kv306Lang);
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(LanguageFor(kv306Lang, QLocale(locale)), language);
    }

    // Qt's own texts come in Chinese too.
    void qtOwnTextsInChinese()
    {
        QVERIFY(UseLanguage(QStringLiteral("zh")));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }

    // After this, the process speaks English.
    void everyCaptionFitsInEnglish()
    {
        QVERIFY(UseLanguage(QStringLiteral("en")));
        Window w;
        QVERIFY(!w.form.windowTitle().contains(kChinese));
        QStringList clipped;
        for (QWidget *widget : w.form.findChildren<QWidget *>()) {
            const QFontMetrics metrics(widget->font());
            auto check = [&](const QString &text, int room) {
                QVERIFY2(!text.contains(kChinese), qPrintable(text));
                if (metrics.horizontalAdvance(text) > room)
                    clipped << QStringLiteral("%1 (%2 > %3)")
                                   .arg(text)
                                   .arg(metrics.horizontalAdvance(text))
                                   .arg(room);
            };
            if (auto *label = qobject_cast<QLabel *>(widget))
                check(label->text(), label->width());
            else if (auto *button = qobject_cast<QPushButton *>(widget))
                check(button->text(), button->width() - 8);  // the frame and its padding
            else if (auto *list = qobject_cast<DropList *>(widget); list && list != w.form.PortList()) {
                for (int i = 0; i < list->count(); ++i)
                    check(list->itemText(i), list->width() - 22);  // the arrow
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(", ")));
        QCOMPARE(w.form.OutsideLabel()->toolTip(),
                 QStringLiteral("Crosshair outside the largest circle: keep or remove it"));

        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        RecordingToolkit toolkit;
        MainWindow main(toolkit);
        for (QAction *menu : main.menuBar()->actions())
            QVERIFY2(!menu->text().contains(kChinese), qPrintable(menu->text()));
        QCOMPARE(main.verifyAction->text(), QStringLiteral("&Check after save"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void messagesInEnglish()
    {
        QVERIFY(UseLanguage(QStringLiteral("en")));
        Rig r;
        r.w.form.Actions().ReadClick();
        r.unit.SetFault(sim::Fault::Silent);
        r.w.form.Actions().ReadClick();
        r.ports.Remove(3);
        r.w.form.Actions().ToggleClick(0);
        QCOMPARE(r.w.toolkit.BoxTexts(),
                 (QStringList{"Read OK!", "Communication error! 1 (no reply)",
                              "This port does not exist!\nCOM3 (" + r.ports.LinkPath(3) +
                                  ") does not exist: check that the USB serial adapter is plugged in, or "
                                  "choose another port."}));
        QCOMPARE(r.w.toolkit.boxes[2].title.value_or(QString()), QStringLiteral("Error"));
        QCOMPARE(CommErrorText(8010),
                 QStringLiteral("The hardware is not available (locked by another device)"));

        // A start-up with nothing at all says so in English, and so does the port field.
        SimPorts none;
        Window w;
        QVERIFY(!w.form.Load());
        QCOMPARE(w.toolkit.BoxTexts(),
                 QStringList{"No serial port was found on this computer. Install a "
                             "USB-to-serial adapter first, then start the program again."});
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("No port"));

        // One unit is one unit.
        Figures one;
        one.units = one.pass = 1;
        QVERIFY2(FiguresWords(one).startsWith("The report holds 1 unit: 1 passed"),
                 qPrintable(FiguresWords(one)));
        one.units = 2;
        QVERIFY2(FiguresWords(one).startsWith("The report holds 2 units:"), qPrintable(FiguresWords(one)));
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
