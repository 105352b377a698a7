// The window: its controls, the video standard preset, start-up with the port scan and the
// remembered port, the port choice, and help.
#include "support/program_on_path.h"
#include "support/sim_ports.h"
#include "support/unprivileged.h"
#include "support/window.h"

#include <QAccessible>
#include <QLineEdit>
#include <QLocalServer>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

namespace {

const QString kRememberedGone = QStringLiteral("找不到串口，如果之前使用USB转串口设备，请插入后重新运行程序");
const QStringList kOpening{"22", "20", "25", "PAL", "3", "保留"};

// What an operator does to pick an entry: type it into the field and press Enter. (Qt Test
// types ASCII only, so the text is put into the field as typing would leave it.)
void Pick(DropList *list, const QString &entry)
{
    list->lineEdit()->setText(entry);
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void windowAsBuilt()
    {
        Window w;
        QCOMPARE(w.form.windowTitle(),
                 QStringLiteral("圆形十字线视频字符叠加器KV306 参数设置及操控软件V1.1"));
        QCOMPARE(w.form.size(), QSize(533, 229));
        QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
        QCOMPARE(w.form.ParamsFrame()->geometry(), QRect(16, 40, 505, 153));
        QCOMPARE(w.form.SaveButton()->geometry(), QRect(384, 80, 113, 57));
        QCOMPARE(w.form.SaveButton()->parentWidget(), w.form.ParamsFrame());
        QCOMPARE(w.form.SentFrameField()->geometry(), QRect(56, 200, 465, 25));
        QCOMPARE(w.form.VerticalButtons()[1]->geometry().top(),
                 w.form.HorizontalButtons()[0]->geometry().top());
        QCOMPARE(w.form.VerticalButtons()[1]->text(), QStringLiteral("∧"));
        QCOMPARE(w.form.VerticalButtons()[0]->text(), QStringLiteral("∨"));
        QCOMPARE(w.form.SizeButtons()[0]->text(), QStringLiteral("∧"));
        QCOMPARE(w.form.HorizontalButtons()[0]->text(), QStringLiteral(">"));
        QCOMPARE(w.form.SentLabel()->text(), QStringLiteral("发送："));
        QCOMPARE(w.form.OutsideLabel()->text(), QStringLiteral("最大圆外十字线"));
        const std::array<int, 6> counts{64, 64, 52, 2, 4, 2};
        for (std::size_t k = 0; k < 6; ++k)
            QCOMPARE(w.form.ParamLists()[k]->count(), counts[k]);
        QCOMPARE(w.form.ParamLists()[2]->itemText(51), QStringLiteral("51"));
        QCOMPARE(w.form.ParamLists()[5]->itemText(1), QStringLiteral("去除"));
        // A screen reader names a list by its caption and an arrow by what it does.
        QCOMPARE(w.form.ParamLists()[0]->accessibleName(), QStringLiteral("水平偏移"));
        QCOMPARE(w.form.VerticalButtons()[1]->accessibleName(), QStringLiteral("垂直偏移 减小"));
        QCOMPARE(w.form.SizeButtons()[0]->accessibleName(), QStringLiteral("圆大小 增大"));
        // On Linux a screen reader names an editable list by its text: the caption reaches it as
        // the label the list is labelled by.
        for (std::size_t k = 0; k < 6; ++k) {
            QAccessibleInterface *list = QAccessible::queryAccessibleInterface(w.form.ParamLists()[k]);
            const auto labels = list->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels[0].first->text(QAccessible::Name), w.form.ListCaption(static_cast<int>(k)));
        }
        // The form's own control names find the same widgets.
        QCOMPARE(w.form.findChild<QWidget *>(QStringLiteral("Combo1_5")), w.form.ParamLists()[5]);
        QCOMPARE(w.form.findChild<QWidget *>(QStringLiteral("Command8_1")), w.form.VerticalButtons()[1]);
        QCOMPARE(w.form.findChild<QWidget *>(QStringLiteral("Text1")), w.form.SentFrameField());
        QCOMPARE(w.form.Serial().objectName(), QStringLiteral("MSComm1"));
    }

    void tabOrderAndFirstFocus()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QVERIFY(w.form.Load());
        w.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        auto owner = [&](QWidget *focus) -> QWidget * {
            return focus && qobject_cast<DropList *>(focus->parentWidget()) ? focus->parentWidget() : focus;
        };
        QCOMPARE(owner(QApplication::focusWidget()), w.form.ParamLists()[0]);
        const std::vector<QWidget *> expected{w.form.ParamLists()[1],        w.form.ParamLists()[3],
                                              w.form.ParamLists()[4],        w.form.SizeButtons()[0],
                                              w.form.SizeButtons()[1],       w.form.ReadButton(),
                                              w.form.ParamLists()[2],        w.form.SentFrameField(),
                                              w.form.SaveButton(),           w.form.PortList(),
                                              w.form.HelpButton(),           w.form.ParamLists()[5],
                                              w.form.HorizontalButtons()[0], w.form.HorizontalButtons()[1],
                                              w.form.VerticalButtons()[1],   w.form.VerticalButtons()[0],
                                              w.form.ToggleButtons()[0],     w.form.ToggleButtons()[1],
                                              w.form.ParamLists()[0]};
        for (QWidget *next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(owner(QApplication::focusWidget()), next);
        }
    }

    void selectionFromCodeRaisesClick()
    {
        Window w;
        DropList *list = w.form.ParamLists()[4];
        QSignalSpy click(list, &DropList::Click);
        list->addItem(QStringLiteral("extra"));  // Qt's own selection changes raise nothing
        list->setCurrentIndex(1);
        QCOMPARE(click.count(), 0);
        list->SetListIndex(2);
        list->SetListIndex(2);  // also when the position is already selected
        QCOMPARE(click.count(), 2);
    }

    void opensAtPalPreset()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QVERIFY(w.form.Load());
        QCOMPARE(w.ListTexts(), kOpening);
        QCOMPARE(w.form.SentFrameField()->text(), QString());
    }

    void presetBothWays()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QVERIFY(w.form.Load());
        Pick(w.form.ParamLists()[5], QStringLiteral("去除"));
        Pick(w.form.ParamLists()[3], QStringLiteral("NTSC"));
        QCOMPARE(w.ListTexts(), (QStringList{"17", "16", "25", "NTSC", "1", "去除"}));
        Pick(w.form.ParamLists()[3], QStringLiteral("PAL"));
        QCOMPARE(w.ListTexts(), (QStringList{"22", "20", "25", "PAL", "3", "去除"}));
        // Other lists change nothing but themselves.
        Pick(w.form.ParamLists()[0], QStringLiteral("40"));
        Pick(w.form.ParamLists()[4], QStringLiteral("0"));
        QCOMPARE(w.ListTexts(), (QStringList{"40", "20", "25", "PAL", "0", "去除"}));
        QVERIFY(w.toolkit.boxes.empty());
    }

    void typedTextNeverBecomesAnEntry()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QVERIFY(w.form.Load());
        w.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        DropList *list = w.form.ParamLists()[0];
        list->setFocus();
        Pick(list, QStringLiteral("99"));
        QCOMPARE(list->count(), 64);
        QCOMPARE(list->ListIndex(), 22);
        w.form.ParamLists()[1]->setFocus();
        QTRY_COMPARE(list->currentText(), QStringLiteral("22"));
    }

    void portsWithoutPortFile()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        ports.AddDangling(7);
        Window w;
        QVERIFY(w.form.Load());
        QCOMPARE(w.PortEntries(), (QStringList{"COM2", "COM5"}));
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM2"));
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QVERIFY(!w.form.Serial().PortOpen());
        QCOMPARE(w.PortFile(), QByteArray("\"COM2\"\r\n"));
        QVERIFY(w.toolkit.boxes.empty());
        QCOMPARE(w.form.ScanPorts(), QStringLiteral("2,5"));
    }

    void rememberedPortOpens()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        // A first field of COM5 with something after it: rewriting would tidy it away.
        w.WritePortFile("\"COM5\",tail\r\n");
        QVERIFY(w.form.Load());
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        QCOMPARE(w.form.Serial().CommPort(), 5);
        QVERIFY(w.form.Serial().PortOpen());
        QCOMPARE(w.PortFile(), QByteArray("\"COM5\",tail\r\n"));
        QVERIFY(w.toolkit.boxes.empty());
    }

    void rememberedPortGone()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        ports.AddDangling(7);
        Window w;
        w.WritePortFile("\"COM7\"\r\n");
        QVERIFY(w.form.Load());
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QVERIFY(!w.form.Serial().PortOpen());
        // The first port serves this run; the remembered one is kept for when it is back.
        QCOMPARE(w.PortFile(), QByteArray("\"COM7\"\r\n"));
        // The field shows the port the actions use; why, in its tooltip and the status line.
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM2"));
        QCOMPARE(w.form.PortList()->toolTip(), kRememberedGone);
        QCOMPARE(w.form.PortProblem(), kRememberedGone);
        QVERIFY(w.toolkit.boxes.empty());

        QFile::remove(ports.LinkPath(7));
        ports.Add(7);
        Window again;
        again.WritePortFile("\"COM7\"\r\n");
        QVERIFY(again.form.Load());
        QCOMPARE(again.form.Serial().CommPort(), 7);
        QVERIFY(again.form.Serial().PortOpen());
    }

    void onlyLastPort()
    {
        SimPorts ports;
        ports.Add(20);
        Window w;
        QVERIFY(w.form.Load());
        QCOMPARE(w.PortEntries(), QStringList{"COM20"});
        QCOMPARE(w.form.ScanPorts(), QStringLiteral("20"));
        // The scan leaves the last port it opened open.
        QVERIFY(w.form.Serial().PortOpen());
    }

    void noPortAtAll()
    {
        SimPorts ports;
        ports.AddDangling(3);
        Window w;
        QVERIFY(!w.form.Load());
        QCOMPARE(w.toolkit.boxes.size(), 1u);
        QCOMPARE(w.toolkit.boxes[0].text,
                 QStringLiteral("在你的电脑找不到串口，先安装USB转串口后重新打开程序"));
        QCOMPARE(w.toolkit.boxes[0].code, 0);
        QVERIFY(!w.toolkit.boxes[0].title.has_value());  // the application's own title
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("无串口"));
        QCOMPARE(w.PortFile(), QByteArray("<none>"));
    }

    void pickingAPort()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(12);
        Window w;
        QVERIFY(w.form.Load());
        w.toolkit.Clear();
        w.form.PortList()->setCurrentIndex(1);
        emit w.form.PortList()->activated(1);  // the operator's pick
        QCOMPARE(w.form.Serial().CommPort(), 12);
        QCOMPARE(w.PortFile(), QByteArray("\"COM12\"\r\n"));
        QVERIFY(w.toolkit.boxes.empty());
        QCOMPARE(w.toolkit.sleeps, (std::vector<int>{100, 5}));  // the link is closed first
    }

    void pickingAPortInAReadOnlyDirectory()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        QVERIFY(w.form.Load());
        w.toolkit.Clear();
        QVERIFY(QFile::setPermissions(w.appDir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                                           QFile::ExeOther));
        // The user's configuration folder is there, but this user may not write in it.
        QTemporaryDir config;
        QVERIFY(QDir(config.path()).mkdir(QStringLiteral("kv306")));
        ::chmod(config.path().toLocal8Bit().constData(), 0755);
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        {
            Unprivileged user;
            w.form.PortList()->SetListIndex(1);
        }
        qunsetenv("XDG_CONFIG_HOME");
        QFile::setPermissions(w.appDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(w.form.Serial().CommPort(), 5);  // the choice still switches the port
        QCOMPARE(w.toolkit.boxes.size(), 1u);
        QVERIFY2(w.toolkit.boxes[0].text.startsWith("无法记住所选串口：") &&
                     w.toolkit.boxes[0].text.contains("写不进去"),
                 qPrintable(w.toolkit.boxes[0].text));
        QCOMPARE(w.toolkit.boxes[0].code, 16);
        QCOMPARE(w.toolkit.boxes[0].title.value_or(QString()), QStringLiteral("错误"));
        QCOMPARE(w.PortFile(), QByteArray("\"COM2\"\r\n"));
    }

    void badPortFileIsTreatedAsMissing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("hello world\r\n");
        QTest::newRow("port 0") << QByteArray("\"COM0\"\r\n");
        QTest::newRow("port 21") << QByteArray("\"COM21\"\r\n");
        QTest::newRow("not quoted right") << QByteArray("\"COM5\r\n");
        QByteArray binary(1 << 20, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>((static_cast<unsigned>(i) * 7919u) >> 3);
        QTest::newRow("1 MiB of binary") << binary;
    }
    void badPortFileIsTreatedAsMissing()
    {
        QFETCH(QByteArray, content);
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        w.WritePortFile(content);
        QVERIFY(w.form.Load());
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM2"));
        QCOMPARE(w.PortFile(), QByteArray("\"COM2\"\r\n"));
        QVERIFY(w.toolkit.boxes.empty());
    }

    void portFileThatCannotBeRead()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QLocalServer socket;  // a socket in the file's place opens for nobody
        QVERIFY(socket.listen(w.PortFilePath()));
        QVERIFY(w.form.Load());
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QVERIFY(w.toolkit.boxes.empty());
        QCOMPARE(w.PortFile(), QByteArray("\"COM2\"\r\n"));  // replaced by a file that can be
    }

    void portFileIsADirectory()
    {
        SimPorts ports;
        ports.Add(2);
        Window w;
        QVERIFY(QDir(w.appDir.path()).mkdir(QStringLiteral("Com.TXT")));
        QVERIFY(w.form.Load());
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QCOMPARE(w.toolkit.BoxTexts(),
                 QStringList{"无法记住所选串口：" + w.PortFilePath() + " 是一个文件夹，不是文件。"});
        QVERIFY(QFileInfo(w.PortFilePath()).isDir());
    }

    // A second window whose only port the first holds says so, rather than "install an adapter".
    void onlyPortHeldByAnotherWindow()
    {
        SimPorts ports;
        ports.Add(3);
        Window first;
        first.WritePortFile("\"COM3\"\r\n");  // left open from start-up
        QVERIFY(first.form.Load());
        QVERIFY(first.form.Serial().PortOpen());
        Window second;
        QVERIFY(!second.form.Load());
        QCOMPARE(second.toolkit.boxes.size(), 1u);
        QVERIFY2(second.toolkit.boxes[0].text.startsWith("串口都被其他程序占用：COM3"),
                 qPrintable(second.toolkit.boxes[0].text));
    }

    void helpOpensBesideTheProgram()
    {
        const ProgramOnPath opener(QStringLiteral("xdg-open"), "#!/bin/sh\n");
        const QString viewer = opener.Path(QStringLiteral("xdg-open"));

        Window w;
        w.toolkit.appPath = QStringLiteral("/opt/kv 306; $(rm -rf x) \"tool\"");
        QTest::mouseClick(w.form.HelpButton(), Qt::LeftButton);
        QTest::mouseClick(w.form.HelpButton(), Qt::LeftButton);
        QCOMPARE(w.toolkit.started.size(), 2u);  // a new viewer for every click
        QCOMPARE(w.toolkit.started[0].first, viewer);
        QCOMPARE(w.toolkit.started[0].second, QStringList{w.toolkit.appPath + QStringLiteral("/help.txt")});
        QVERIFY(w.toolkit.boxes.empty());

        // Nothing to show it with: the operator is told where the file is.
        w.toolkit.startSucceeds = false;
        QTest::mouseClick(w.form.HelpButton(), Qt::LeftButton);
        QCOMPARE(w.toolkit.boxes.size(), 1u);
        QVERIFY(w.toolkit.boxes[0].text.endsWith(w.toolkit.appPath + QStringLiteral("/help.txt")));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
