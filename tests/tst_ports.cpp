// Ports as a Linux user meets them: refusals for permission, what each entry is, the port field
// that only a pick changes, and ports plugged in or pulled after start-up.
#include "support/rig.h"
#include "support/unprivileged.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

namespace {

// Gives the unit's terminal to root and `group`, with `mode`; false when the test cannot.
bool Own(sim::SimUnit &unit, const char *group, mode_t mode)
{
    // The ports folder lets anybody through, as the user's own would.
    const QByteArray dir = QFileInfo(QString::fromStdString(unit.LinkPath())).path().toLocal8Bit();
    ::chmod(dir.constData(), 0755);
    const struct group *g = ::getgrnam(group);
    const std::string tty = unit.TerminalPath();
    return g && ::chown(tty.c_str(), 0, g->gr_gid) == 0 && ::chmod(tty.c_str(), mode) == 0;
}

void RequireRoot()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to act as a user outside the device's group");
}

void Type(DropList *list, const QString &text)
{
    list->lineEdit()->setText(text);
}

}  // namespace

class TestPorts : public QObject {
    Q_OBJECT
private slots:
    void startupNamesRefusedDevicesAndTheFix_data()
    {
        QTest::addColumn<QString>("group");
        QTest::newRow("dialout") << "dialout";
        QTest::newRow("uucp") << "uucp";
    }
    void startupNamesRefusedDevicesAndTheFix()
    {
        RequireRoot();
        QFETCH(QString, group);
        SimPorts ports;
        QVERIFY(Own(ports.Add(2), qPrintable(group), 0660));
        QVERIFY(Own(ports.Add(5), qPrintable(group), 0660));
        Window w;
        bool loaded = true;
        {
            Unprivileged user;
            QVERIFY(user.Dropped());
            loaded = w.form.Load();
        }
        QVERIFY(!loaded);
        QCOMPARE(w.toolkit.boxes.size(), 1u);
        const QString text = w.toolkit.boxes[0].text;
        QVERIFY2(text.contains(QString::fromStdString(ports.Unit(2).TerminalPath()) + "（" + group + " 组）"),
                 qPrintable(text));
        QVERIFY(text.contains(QString::fromStdString(ports.Unit(5).TerminalPath())));
        QVERIFY2(text.contains("sudo usermod -aG " + group + " nobody"), qPrintable(text));
        QVERIFY(!w.toolkit.boxes[0].title.has_value());
        QCOMPARE(w.PortFile(), QByteArray("<none>"));
    }

    void actionOnRefusedPortSaysPermissionNotBusy()
    {
        RequireRoot();
        Rig r;
        const QString tty = QString::fromStdString(r.unit.TerminalPath());
        QVERIFY(Own(r.unit, "dialout", 0660));
        {
            Unprivileged user;
            r.w.form.Actions().ToggleClick(0);
        }
        QCOMPARE(r.w.toolkit.boxes.size(), 1u);
        QCOMPARE(r.w.toolkit.boxes[0].code, kMsgCritical);
        QCOMPARE(r.w.toolkit.boxes[0].title.value_or(QString()), QStringLiteral("错误"));
        QVERIFY2(r.w.toolkit.boxes[0].text.startsWith("没有权限打开串口 " + tty + "（属于 dialout 组）"),
                 qPrintable(r.w.toolkit.boxes[0].text));
        QVERIFY(r.unit.Received().empty());

        // A device the user may open but another program holds is still "in use".
        QVERIFY(Own(r.unit, "dialout", 0666));
        SerialControl other;
        other.SetCommPort(3);
        other.SetPortOpen(true);
        r.w.toolkit.Clear();
        {
            Unprivileged user;
            r.w.form.Actions().ToggleClick(0);
        }
        QCOMPARE(r.w.toolkit.BoxHeads(), QStringList{QStringLiteral("串口已被占用")});
    }

    void entriesSayWhatTheirDeviceIs()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        QVERIFY(w.form.Load());
        QCOMPARE(w.PortEntries(), (QStringList{"COM2", "COM5"}));
        const QString tty = QString::fromStdString(ports.Unit(5).TerminalPath());
        QCOMPARE(w.form.PortList()->itemData(1, Qt::ToolTipRole).toString(), tty);
        QCOMPARE(w.form.PortList()->itemData(1, Qt::AccessibleDescriptionRole).toString(), tty);
        // The open list shows the name and the device; the entry stays the bare name.
        QStyleOptionViewItem option;
        static_cast<PortEntryDelegate *>(w.form.PortList()->itemDelegate())
            ->initStyleOption(&option, w.form.PortList()->model()->index(1, 0));
        QCOMPARE(option.text, "COM5   " + tty);
    }

    void onlyAPickRunsThePortChoice()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        w.toolkit.realSleep = false;
        w.WritePortFile("\"COM05\"\r\n");  // the number starts at the fourth character
        QVERIFY(w.form.Load());
        w.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&w.form));
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        QCOMPARE(w.form.PortList()->ListIndex(), 1);  // the open list highlights what the field shows
        QVERIFY(w.form.Serial().PortOpen());
        w.toolkit.Clear();

        // Into the field and out again: nobody picked anything.
        w.form.PortList()->setFocus();
        w.form.SaveButton()->setFocus();
        // Another entry's name typed and left behind is no pick either.
        w.form.PortList()->setFocus();
        Type(w.form.PortList(), QStringLiteral("COM2"));
        w.form.SaveButton()->setFocus();
        QTRY_COMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        // A name of no entry does not stay shown after Enter.
        w.form.PortList()->setFocus();
        Type(w.form.PortList(), QStringLiteral("COM9"));
        QTest::keyClick(w.form.PortList()->lineEdit(), Qt::Key_Return);
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        QVERIFY(w.form.Serial().PortOpen());
        QCOMPARE(w.form.Serial().CommPort(), 5);
        QVERIFY(w.toolkit.sleeps.empty());
        QCOMPARE(w.PortFile(), QByteArray("\"COM05\"\r\n"));

        // Typed and Enter is a pick, made once.
        Type(w.form.PortList(), QStringLiteral("COM2"));
        QTest::keyClick(w.form.PortList()->lineEdit(), Qt::Key_Return);
        QCOMPARE(w.toolkit.sleeps, (std::vector<int>{100, 5}));
        QCOMPARE(w.form.Serial().CommPort(), 2);
        QCOMPARE(w.PortFile(), QByteArray("\"COM2\"\r\n"));
    }

    void listFollowsThePlug()
    {
        SimPorts ports;
        ports.Add(2);
        ports.Add(5);
        Window w;
        w.toolkit.realSleep = false;
        w.WritePortFile("\"COM5\"\r\n");
        QVERIFY(w.form.Load());
        QVERIFY(w.form.Serial().PortOpen());
        w.toolkit.Clear();

        int opens = SerialControl::OpenAttempts();
        w.form.FollowPlug();
        QCOMPARE(SerialControl::OpenAttempts(), opens);  // nothing changed: nothing opened

        ports.Add(7);
        ports.Remove(2);
        w.form.FollowPlug();
        QCOMPARE(w.PortEntries(), (QStringList{"COM5", "COM7"}));
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        QCOMPARE(w.form.PortList()->ListIndex(), 0);
        // The port in use stays open on its number; the one tried is closed again.
        QVERIFY(w.form.Serial().PortOpen());
        QCOMPARE(w.form.Serial().CommPort(), 5);
        SerialControl other;
        other.SetCommPort(7);
        other.SetPortOpen(true);

        // The chosen port pulled: it stays shown and remembered; the list no longer has it.
        other.SetPortOpen(false);
        w.form.Serial().SetPortOpen(false);
        ports.Remove(5);
        opens = SerialControl::OpenAttempts();
        w.form.PortList()->showPopup();  // what the operator's click on the arrow does
        w.form.PortList()->hidePopup();
        QCOMPARE(SerialControl::OpenAttempts(), opens + 1);
        QCOMPARE(w.PortEntries(), QStringList{"COM7"});
        QCOMPARE(w.form.PortList()->currentText(), QStringLiteral("COM5"));
        QCOMPARE(w.PortFile(), QByteArray("\"COM5\"\r\n"));
        QVERIFY(w.toolkit.boxes.empty());
    }
};

QTEST_MAIN(TestPorts)
#include "tst_ports.moc"
