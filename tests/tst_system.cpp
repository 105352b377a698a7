// What the Windows build does its own way, run under Wine: port names, where the files live, the
// serial device's refusals, help in Notepad.
#include "link/port_access.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "link/serial_control.h"
#include "panel/program_files.h"
#include "support/window.h"

#include <QtTest>

using namespace kv306;
using namespace kv306::test;

class TestSystem : public QObject {
    Q_OBJECT
private slots:
    void portsAreTheSystemsOwn()
    {
        QCOMPARE(DevicePathForPort(7), QStringLiteral("COM7"));
        QCOMPARE(DevicePathForPort(20), QStringLiteral("COM20"));
        // Nothing to read off a device's owner and mode.
        QVERIFY(!PermissionRefusal(QStringLiteral("COM7")));
        QVERIFY(!NotSerialCause(QStringLiteral("COM7")));
    }

    void missingPortIsNoSuchPort()
    {
        SerialControl comm;
        SetUpLine(comm);
        comm.SetCommPort(19);  // no COM19 in the test's prefix
        try {
            comm.SetPortOpen(true);
            QFAIL("a missing port opened");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), ErrorNo::NoSuchPort);
        }
    }

    // The zip is the user's folder; the installer's bin\ has ..\share\kv306 beside it.
    void filesPortableAndInstalled()
    {
        QTemporaryDir root;
        QTemporaryDir zip;
        QDir(root.path()).mkpath(QStringLiteral("bin"));
        QDir(root.path()).mkpath(QStringLiteral("share/kv306"));
        QDir(root.path()).mkpath(QStringLiteral("appdata"));
        qputenv("APPDATA", QDir::toNativeSeparators(root.filePath(QStringLiteral("appdata"))).toLocal8Bit());
        const QString portable = zip.path();
        const QString bin = root.filePath(QStringLiteral("bin"));
        QVERIFY(IsPortable(portable));
        QCOMPARE(PortFileToWrite(portable), portable + QStringLiteral("/Com.TXT"));
        QVERIFY(!IsPortable(bin));
        QCOMPARE(UserConfigDir(), root.filePath(QStringLiteral("appdata/kv306")));
        QCOMPARE(PortFileToWrite(bin), root.filePath(QStringLiteral("appdata/kv306/Com.TXT")));
        QFile help(root.filePath(QStringLiteral("share/kv306/help.txt")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.close();
        QCOMPARE(HelpFilePath(bin), root.filePath(QStringLiteral("share/kv306/help.txt")));
    }

    void helpOpensInNotepad()
    {
        Window w;
        w.form.OnHelpClicked();
        QCOMPARE(w.toolkit.started.size(), 1u);
        QVERIFY2(w.toolkit.started[0].first.endsWith(QStringLiteral("notepad.exe"), Qt::CaseInsensitive),
                 qPrintable(w.toolkit.started[0].first));
        QCOMPARE(w.toolkit.started[0].second, QStringList{w.toolkit.appPath + QStringLiteral("/help.txt")});
    }
};

QTEST_MAIN(TestSystem)
#include "tst_system.moc"
