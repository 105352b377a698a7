// A port's name read once: its kind from every spelling, the names refused, and which two names
// are one port.
#include "link/port_ref.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kv306;

Q_DECLARE_METATYPE(PortRef::Kind)

class TestPortRef : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(folder_.isValid());
        qputenv("KV306_PORT_DIR", QFile::encodeName(folder_.path()));
        // COM4 leads to a device path, COM5 to a server.
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), folder_.filePath(QStringLiteral("COM4"))));
        QFile entry(folder_.filePath(QStringLiteral("COM5")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("socket://127.0.0.1:4001\n");
        entry.close();
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), folder_.filePath(QStringLiteral("null-link"))));
        QVERIFY(QFile::link(folder_.filePath(QStringLiteral("gone")), folder_.filePath(QStringLiteral("a"))));
        QVERIFY(QFile::link(folder_.filePath(QStringLiteral("gone")), folder_.filePath(QStringLiteral("b"))));
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<PortRef::Kind>("kind");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("server");
        using K = PortRef::Kind;
        QTest::newRow("COM3") << "COM3" << K::Com << "COM3" << 3 << "";
        QTest::newRow("com3, as Windows writes it") << "com3" << K::Com << "COM3" << 3 << "";
        QTest::newRow("Com20") << "Com20" << K::Com << "COM20" << 20 << "";
        QTest::newRow("COM5 whose entry names a server")
            << "COM5" << K::Com << "COM5" << 5 << "socket://127.0.0.1:4001";
        QTest::newRow("absolute path") << "/dev/ttyUSB0" << K::Path << "/dev/ttyUSB0" << 0 << "";
        QTest::newRow("relative path") << "pts/9" << K::Path << "pts/9" << 0 << "";
        QTest::newRow("rfc2217") << "rfc2217://192.168.1.20:2217" << K::Server
                                 << "rfc2217://192.168.1.20:2217" << 0 << "rfc2217://192.168.1.20:2217";
        QTest::newRow("scheme in capitals, kept as written")
            << "SOCKET://Host:4001" << K::Server << "SOCKET://Host:4001" << 0 << "socket://host:4001";
        QTest::newRow("IPv6 in brackets")
            << "rfc2217://[::1]:2217" << K::Server << "rfc2217://[::1]:2217" << 0 << "rfc2217://[::1]:2217";
        QTest::newRow("highest port")
            << "socket://h:65535" << K::Server << "socket://h:65535" << 0 << "socket://h:65535";
        QTest::newRow("rfc2217 over TLS")
            << "RFC2217+TLS://cabinet-7.example:2217" << K::Server << "RFC2217+TLS://cabinet-7.example:2217"
            << 0 << "rfc2217+tls://cabinet-7.example:2217";
        QTest::newRow("raw over TLS")
            << "socket+tls://[fd00::20]:4001" << K::Server << "socket+tls://[fd00::20]:4001" << 0
            << "socket+tls://[fd00::20]:4001";
    }
    void kinds()
    {
        QFETCH(QString, text);
        QFETCH(PortRef::Kind, kind);
        QFETCH(QString, label);
        QFETCH(int, number);
        QFETCH(QString, server);
        const Checked<PortRef> port = PortRef::Read(text);
        QVERIFY2(port, qPrintable(port.reason));
        QCOMPARE(port->kind(), kind);
        QCOMPARE(port->Label(), label);
        QCOMPARE(port->Number(), number);
        QCOMPARE(port->Server() ? port->Server()->Name() : QString(), server);
        QCOMPARE(port->Served(), !server.isEmpty());
    }

    void refused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("why");  // a part of the reason
        QTest::newRow("nothing") << ""
                                 << "";
        QTest::newRow("COM0") << "COM0"
                              << "COM1";
        QTest::newRow("COM21") << "COM21"
                               << "COM1";
        QTest::newRow("COM03") << "COM03"
                               << "COM1";
        QTest::newRow("a bare device name") << "ttyUSB0"
                                            << "COM1";
        QTest::newRow("empty host") << "socket://:4001"
                                    << "";
        QTest::newRow("port 0") << "socket://h:0"
                                << "";
        QTest::newRow("port 65536") << "socket://h:65536"
                                    << "";
        QTest::newRow("TLS spelt otherwise") << "rfc2217s://h:1"
                                             << "rfc2217+tls://";
        QTest::newRow("no port") << "socket://h"
                                 << "";
        QTest::newRow("IPv6 without brackets") << "rfc2217://::1:2217"
                                               << "";
        QTest::newRow("IPv4 in brackets") << "socket://[127.0.0.1]:4001"
                                          << "";
        QTest::newRow("a user") << "socket://user@host:1"
                                << "@";
        QTest::newRow("space before the port") << "socket://host: 24001"
                                               << "";
        QTest::newRow("space after") << "socket://host:24001 "
                                     << "";
        QTest::newRow("a quote in the host") << "rfc2217://ce7e\"\":2"
                                             << "";
        QTest::newRow("a path with a space") << "/tmp/my ports/COM3"
                                             << "/tmp/my ports/COM3";
        QTest::newRow("a path with a line break") << "/dev/tty\nS0"
                                                  << "";
    }
    void refused()
    {
        QFETCH(QString, text);
        QFETCH(QString, why);
        const Checked<PortRef> port = PortRef::Read(text);
        QVERIFY2(!port, qPrintable(text));
        QVERIFY(!port.reason.isEmpty());
        QVERIFY2(port.reason.contains(why), qPrintable(port.reason));
    }

    void samePort_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        const QString f = folder_.path() + QLatin1Char('/');
        QTest::newRow("COM3, com3") << "COM3"
                                    << "com3" << true;
        QTest::newRow("COM3, COM6") << "COM3"
                                    << "COM6" << false;
        QTest::newRow("a link and its device") << f + "null-link"
                                               << "/dev/null" << true;
        QTest::newRow("COMn and the device it leads to") << "COM4"
                                                         << "/dev/null" << true;
        QTest::newRow("two links to a device not there yet") << f + "a" << f + "b" << true;
        QTest::newRow("two devices") << "/dev/null"
                                     << "/dev/zero" << false;
        QTest::newRow("one server port spoken to two ways") << "socket://127.0.0.1:4001"
                                                            << "rfc2217://127.0.0.1:4001" << true;
        QTest::newRow("COMn and the server its entry names") << "COM5"
                                                             << "rfc2217://127.0.0.1:4001" << true;
        QTest::newRow("one server port, plain and over TLS") << "rfc2217+tls://127.0.0.1:4001"
                                                             << "socket://127.0.0.1:4001" << true;
        QTest::newRow("two ports of one server") << "socket://127.0.0.1:4001"
                                                 << "socket://127.0.0.1:4002" << false;
        QTest::newRow("a server and a device") << "socket://127.0.0.1:4001"
                                               << "/dev/null" << false;
    }
    void samePort()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        const Checked<PortRef> first = PortRef::Read(a);
        const Checked<PortRef> second = PortRef::Read(b);
        QVERIFY(first && second);
        QCOMPARE(first->SameAs(*second), same);
        QCOMPARE(second->SameAs(*first), same);
        QCOMPARE(first->Identity() == second->Identity(), same);
    }

private:
    QTemporaryDir folder_;
};

QTEST_GUILESS_MAIN(TestPortRef)
#include "tst_port_ref.moc"
