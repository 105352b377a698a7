// Com.TXT: what a remembered port file says, and writing it.
#include "link/comm_error.h"
#include "link/port_file.h"
#include "panel/program_files.h"
#include "support/unprivileged.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace kv306;
using kv306::test::Unprivileged;

class TestPortFile : public QObject {
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("port");  // empty: remembers nothing
        QTest::newRow("as written") << QByteArray("\"COM3\"\r\n") << "COM3";
        QTest::newRow("two digits") << QByteArray("\"COM12\"\r\n") << "COM12";
        QTest::newRow("last port") << QByteArray("\"COM20\"\r\n") << "COM20";
        QTest::newRow("no line end") << QByteArray("\"COM5\"") << "COM5";
        QTest::newRow("bare field") << QByteArray("COM7\r\n") << "COM7";
        QTest::newRow("bare field ends at comma") << QByteArray("COM7,COM8\r\n") << "COM7";
        QTest::newRow("quoted field keeps its comma") << QByteArray("\"COM7,8\"\r\n") << "COM7";
        QTest::newRow("second line ignored") << QByteArray("\"COM2\"\r\n\"COM9\"\r\n") << "COM2";
        QTest::newRow("leading blanks") << QByteArray("  \"COM4\"\r\n") << "COM4";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("empty quotes") << QByteArray("\"\"\r\n") << "";
        QTest::newRow("unclosed quote") << QByteArray("\"COM3\r\n") << "";
        QTest::newRow("port 0") << QByteArray("\"COM0\"\r\n") << "";
        QTest::newRow("port 21") << QByteArray("\"COM21\"\r\n") << "";
        QTest::newRow("leading zero") << QByteArray("\"COM05\"\r\n") << "COM5";
        QTest::newRow("blank after the number") << QByteArray("\"COM5 \"\r\n") << "COM5";
        QTest::newRow("lower case, as Windows writes it") << QByteArray("\"com3\"\r\n") << "COM3";
        QTest::newRow("Notepad's byte-order mark") << QByteArray("\xEF\xBB\xBF\"COM6\"\r\n") << "COM6";
        QTest::newRow("Notepad's Unicode") << QByteArray("\xFF\xFE\"\0C\0O\0M\0\x38\0\"\0", 14) << "COM8";
        QTest::newRow("not a port") << QByteArray("\"hello\"\r\n") << "";
        QTest::newRow("number only") << QByteArray("\"3\"\r\n") << "";
        QTest::newRow("binary") << QByteArray("\x00\xff\x22\x43\x4f\x4d\x00", 7) << "";
        QTest::newRow("huge number") << QByteArray("\"COM99999999999\"") << "";
    }
    void parse()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, port);
        const std::optional<QString> parsed = ParsePortFile(content).value;
        QCOMPARE(parsed.value_or(QString()), port);
    }

    void writeThenRead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(kPortFileName));
        WritePortFile(path, QStringLiteral("COM12"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\"COM12\"\r\n"));
        QCOMPARE(ReadPortFile(path).value_or(QString()), QStringLiteral("COM12"));
    }

    void unreadableFilesRememberNothing()
    {
        QTemporaryDir dir;
        QVERIFY(!ReadPortFile(dir.filePath(QStringLiteral("missing"))));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Com.TXT")));
        QVERIFY(!ReadPortFile(dir.filePath(QStringLiteral("Com.TXT"))));
        // A pipe would block the reader until somebody writes to it.
        const QByteArray fifo = dir.filePath(QStringLiteral("pipe")).toLocal8Bit();
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QVERIFY(!ReadPortFile(QString::fromLocal8Bit(fifo)));
    }

    // What kv306ctl and the window say of a Com.TXT that names no port.
    void whyNoPortIsRemembered_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("why");
        QTest::newRow("COM0") << QByteArray("\"COM0\"\r\n") << "“COM0”不在 COM1 到 COM20 之内";
        QTest::newRow("COM21") << QByteArray("\"COM21\"\r\n") << "“COM21”不在 COM1 到 COM20 之内";
        QTest::newRow("COM-1") << QByteArray("\"COM-1\"\r\n") << "“COM-1”不是串口名（应为 COM1 到 COM20）";
        QTest::newRow("control characters") << QByteArray("\"\x1b[2J\"") << "它的内容不是文本";
        QTest::newRow("empty") << QByteArray("\r\n") << "文件是空的";
    }
    void whyNoPortIsRemembered()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Com.TXT"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const RememberedPort remembered = ReadRememberedPort(path);
        QVERIFY(remembered.exists && !remembered.name);
        QCOMPARE(remembered.problem, why);
    }

    void unreadableFileSaysSo()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Com.TXT"));
        WritePortFile(path, QStringLiteral("COM3"));
        QFile::setPermissions(path, QFile::WriteOwner);
        ::chmod(dir.path().toLocal8Bit().constData(), 0755);
        Unprivileged user;
        if (!user.Dropped() && QFileInfo(path).isReadable())
            QSKIP("this user reads a file without read permission");
        QCOMPARE(ReadRememberedPort(path).problem, QStringLiteral("无法读取（Permission denied）"));
    }

    // A link someone made stays as it is, and what it leads to too; a folder that cannot be made
    // is named with the system's cause.
    void writeRefusesLinksAndNamesTheFolder()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        const QString link = dir.filePath(QStringLiteral("Com.TXT"));
        WritePortFile(target, QStringLiteral("COM9"));
        QVERIFY(QFile::link(target, link));
        QVERIFY(ReadPortFile(link) == QStringLiteral("COM9"));  // read through, never written through
        try {
            WritePortFile(link, QStringLiteral("COM2"));
            QFAIL("written through a symbolic link");
        } catch (const CommError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("无法记住所选串口：%1 是符号链接（指向 %2），不会写入它所指的文件。")
                         .arg(link, target));
        }
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(ReadPortFile(target) == QStringLiteral("COM9"));

        QFile(dir.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly);
        try {
            WritePortFile(dir.filePath(QStringLiteral("file/kv306/Com.TXT")), QStringLiteral("COM2"));
            QFAIL("written under a plain file");
        } catch (const CommError &e) {
            QCOMPARE(e.message(), QStringLiteral("无法记住所选串口：无法建立文件夹 %1（Not a directory）。")
                                      .arg(dir.filePath(QStringLiteral("file/kv306"))));
        }
    }

    void writeFailureCarriesFileErrorNumber()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Com.TXT"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Com.TXT")));
        try {
            WritePortFile(path, QStringLiteral("COM2"));
            QFAIL("a directory in the file's place was written");
        } catch (const CommError &e) {
            QCOMPARE(e.number(), 75);
            QVERIFY(QString::fromStdString(e.what()).contains(path));
        }
        QVERIFY(QFileInfo(path).isDir());
    }

    // Portable beside the program; installed, the user's configuration folder and the data folder.
    void whereTheFilesLive()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to act as a user who may not write the program's directory");
        QTemporaryDir prefix;
        QDir(prefix.path()).mkpath(QStringLiteral("bin"));
        QDir(prefix.path()).mkpath(QStringLiteral("share/kv306"));
        QDir(prefix.path()).mkpath(QStringLiteral("config"));
        ::chmod(prefix.path().toLocal8Bit().constData(), 0755);
        ::chown(prefix.filePath(QStringLiteral("config")).toLocal8Bit().constData(), 65534, 65534);
        QFile(prefix.filePath(QStringLiteral("share/kv306/help.txt"))).open(QIODevice::WriteOnly);
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString config = prefix.filePath(QStringLiteral("config"));
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());

        // Installed by where it lives: root, who may write bin/, writes there nothing either.
        QCOMPARE(PortFileToWrite(bin), config + "/kv306/Com.TXT");
        QCOMPARE(HelpFilePath(bin), prefix.filePath(QStringLiteral("share/kv306/help.txt")));
        {
            Unprivileged user;
            QCOMPARE(PortFileToWrite(bin), config + "/kv306/Com.TXT");
            QCOMPARE(PortFileToRead(bin), config + "/kv306/Com.TXT");
            QCOMPARE(HelpFilePath(bin), prefix.filePath(QStringLiteral("share/kv306/help.txt")));
            WritePortFile(PortFileToWrite(bin), QStringLiteral("COM4"));  // makes the folder
        }
        QCOMPARE(ReadPortFile(config + "/kv306/Com.TXT").value_or(QString()), QStringLiteral("COM4"));

        // A site's Com.TXT beside the program is read until the user has chosen a port.
        WritePortFile(bin + "/Com.TXT", QStringLiteral("COM9"));
        {
            Unprivileged user;
            QCOMPARE(PortFileToRead(bin), config + "/kv306/Com.TXT");
        }
        QFile::remove(config + "/kv306/Com.TXT");
        {
            Unprivileged user;
            QCOMPARE(PortFileToRead(bin), bin + "/Com.TXT");
        }
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestPortFile)
#include "tst_port_file.moc"
