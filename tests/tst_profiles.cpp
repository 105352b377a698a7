// Profiles in files, and every file the window writes: exported and imported without a word to
// the unit, never replacing what is there unasked, a settings file that is no plain file.
#include "protocol/params_text.h"
#include "support/main_window.h"

#include <QtTest>

#include <sys/stat.h>

using namespace kv306;
using namespace kv306::test;

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }

    void exportThenImportSendsNothing()
    {
        SimPorts ports;
        sim::SimUnit &unit = ports.Add(3);
        Main m;
        Form1 &f = m.window.Form();
        f.HoldPreset(true);
        for (auto [k, v] : {std::pair{0, 40}, {1, 2}, {2, 51}, {3, 1}, {4, 0}, {5, 1}})
            f.SelectListIndex(k, v);
        f.HoldPreset(false);
        const QStringList exported = m.Lists();
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("line 3"));
        m.window.ExportParams();
        const QString file = m.toolkit.fileAnswer + QStringLiteral(".json");
        QCOMPARE(ReadProfile(file).reason, QString());

        f.SelectListIndex(3, 0);  // the preset moves four lists
        m.toolkit.fileAnswer = file;
        m.window.ImportParams();
        QCOMPARE(m.Lists(), exported);  // NTSC read back without its preset
        QVERIFY(m.toolkit.boxes.empty());

        // A bad file: the reason in a box, the lists as they were.
        QFile bad(m.appDir.filePath(QStringLiteral("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(ProfileJson({1, 2, 3, 0, 0, 0})).replace("\"size\": 3", "\"size\": 99"));
        bad.close();
        m.toolkit.fileAnswer = bad.fileName();
        m.window.ImportParams();
        QCOMPARE(m.toolkit.boxes.size(), 1u);
        // Named as the window names the list, with the file's key.
        QCOMPARE(m.toolkit.boxes[0].text.section('\n', 1),
                 QStringLiteral("圆大小调整（\"size\"） 超出范围（0-51）"));
        QCOMPARE(m.Lists(), exported);
        QVERIFY(unit.Received().empty());
    }

    // The ending is added before anyone asks about replacing a file, never after.
    void exportNeverReplacesUnasked()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        QFile old(m.appDir.filePath(QStringLiteral("p.json")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        m.toolkit.fileAnswer = m.appDir.filePath(QStringLiteral("p"));
        m.window.ExportParams();
        QCOMPARE(m.toolkit.events.last(), "question " + old.fileName() + " 已存在。\n要替换它吗？");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("kept"));  // answered No
    }

    // A file chosen to write never replaces a pipe, a device or a link, and a name that is there
    // is not made another one.
    void savingNeverReplacesWhatIsThere()
    {
        SimPorts ports;
        ports.Add(3);
        Main m;
        const QString fifo = m.appDir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString target = m.appDir.filePath(QStringLiteral("real.json"));
        const QString link = m.appDir.filePath(QStringLiteral("link.json"));
        QFile(target).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(target, link));
        for (const QString &chosen : {fifo, QStringLiteral("/dev/full"), link}) {
            m.toolkit.fileAnswer = chosen;
            m.window.ExportParams();
        }
        QCOMPARE(m.toolkit.BoxTexts(),
                 (QStringList{"无法导出参数文件 " + fifo + "：\n" + fifo + " 是命名管道",
                              "无法导出参数文件 /dev/full：\n/dev/full 是设备文件"}));
        m.toolkit.Clear();
        m.toolkit.fileAnswer = fifo;
        m.window.ShowLog().SaveAs();
        QCOMPARE(m.toolkit.BoxTexts(), QStringList{"无法保存 " + fifo + "：" + fifo + " 是命名管道"});
        QVERIFY(QFileInfo(fifo).isFile() == false && QFileInfo::exists(fifo));
        QVERIFY(!QFileInfo::exists(QStringLiteral("/dev/full.json")));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(ReadProfile(target).reason, QString());  // written through the link
    }

    // A settings file that is a pipe would wait for a writer for ever.
    void settingsFileThatIsAPipe()
    {
        QTemporaryDir config;
        QVERIFY(QDir(config.path()).mkpath(QStringLiteral("kv306")));
        QVERIFY(::mkfifo(QFile::encodeName(config.filePath(QStringLiteral("kv306/kv306.conf"))).constData(),
                         0600) == 0);
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        SimPorts ports;
        ports.Add(3);
        {
            Main m;
            QVERIFY(!m.window.verifyAction->isChecked());  // the defaults
            m.window.verifyAction->trigger();              // kept nowhere, and no wait either
        }
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }

private:
    QTemporaryDir config_;
};

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
