// Units behind Debian's ser2net over TLS: the server's certificate checked (its authority, its
// name, its time), our own certificate for a server that asks, and every refusal a numbered error
// that names the server and what to do, with nothing sent to the unit.
#include "support/ctl_run.h"
#include "support/main_window.h"
#include "support/ser2net.h"
#include "support/sim_ports.h"
#include "support/station_run.h"

#include "panel/program_files.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

using namespace kv306;
using namespace kv306::test;

namespace {

// One ser2net bridging one simulated unit to a loopback port a way of speaking: plain and over
// TLS, with each of the test's certificates, and asking for ours.
class Servers {
public:
    explicit Servers(const QString &device, const QString &certs)
    {
        const auto ssl = [&certs](const QString &cert, const QString &more = {}) {
            return QStringLiteral("ssl(key=%1/%2.key,cert=%1/%3.crt%4)")
                .arg(certs, cert == QLatin1String("elsewhere") ? cert : QStringLiteral("server"), cert, more);
        };
        const QString clientAuth = QStringLiteral(",clientauth,CA=%1/ca.crt").arg(certs);
        const std::pair<const char *, QString> ways[] = {
            {"plain", QStringLiteral("telnet(rfc2217),tcp")},
            {"raw", QStringLiteral("tcp")},
            {"tls", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("server"))},
            {"rawtls", QStringLiteral("%1,tcp").arg(ssl("server"))},
            {"expired", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("expired"))},
            {"future", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("future"))},
            {"elsewhere", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("elsewhere"))},
            {"stranger", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("stranger"))},
            {"clientauth", QStringLiteral("telnet(rfc2217),%1,tcp").arg(ssl("server", clientAuth))},
        };
        QByteArray config;
        for (const auto &[name, accepter] : ways) {
            const quint16 port = FreePort();
            ports_[QLatin1String(name)] = port;
            // ser2net takes a station's certificate by its name: auth/NAME/allowed_certs.
            config += QStringLiteral("connection: &%1\n  accepter: %2,127.0.0.1,%3\n"
                                     "  connector: serialdev,%4,9600n81,local\n"
                                     "  options:\n    authdir: %5/auth\n")
                          .arg(QLatin1String(name), accepter)
                          .arg(port)
                          .arg(device, certs)
                          .toUtf8();
        }
        QFile file(dir_.filePath("ser2net.yaml"));
        if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
            qFatal("cannot write the ser2net configuration");
        file.close();
        process_.start(Ser2NetProgram(), {"-n", "-u", "-c", file.fileName()});
        if (!process_.waitForStarted())
            qFatal("ser2net does not start");
        AwaitListening(ports_.values());
    }
    ~Servers()
    {
        process_.kill();
        process_.waitForFinished();
    }
    // "rfc2217+tls://127.0.0.1:PORT" for the way named.
    QString Port(const char *scheme, const char *way) const
    {
        return QStringLiteral("%1://127.0.0.1:%2")
            .arg(QLatin1String(scheme))
            .arg(ports_.value(QLatin1String(way)));
    }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QMap<QString, quint16> ports_;
};

}  // namespace

class TestTls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit());
        certs_ = dir_.filePath("certs");
        QProcess make;
        make.start("bash", {QStringLiteral(KV306_SOURCE_DIR "/tests/make_certs.sh"), certs_});
        QVERIFY2(make.waitForFinished(60000) && make.exitCode() == 0,
                 make.readAllStandardError().constData());
        unit_ = &ports_.Add(1);
        servers_ = std::make_unique<Servers>(QFileInfo(ports_.Path() + "/COM1").canonicalFilePath(), certs_);
    }

    // Over TLS as over TCP: read and write through both ways of speaking, apply and verify a
    // profile, and a station's unit; our certificate shown to the server that asks for it.
    void unitsOverTls()
    {
        const QStringList ca{"--tls-ca", certs_ + "/ca.crt"};
        for (const char *way : {"tls", "rawtls"}) {
            const QString port =
                servers_->Port(QLatin1String(way) == "tls" ? "rfc2217+tls" : "socket+tls", way);
            const CtlRun read = RunCtl(QStringList{"--port", port, "read"} + ca);
            QVERIFY2(read.code == 0 && read.out.startsWith("horizontal="),
                     qPrintable(port + ": " + read.err));
        }
        const QString tls = servers_->Port("rfc2217+tls", "tls");
        QCOMPARE(RunCtl(QStringList{"--port", tls, "write", "horizontal=5", "vertical=6", "size=7",
                                    "standard=PAL", "roundness=1", "outside=keep"} +
                        ca)
                     .code,
                 0);
        QFile profile(dir_.filePath("line.json"));
        QVERIFY(profile.open(QIODevice::WriteOnly));
        profile.write(kProfile);
        profile.close();
        const CtlRun apply = RunCtl(QStringList{"apply", profile.fileName(), "--port", tls} + ca);
        QVERIFY2(apply.code == 0, qPrintable(apply.out + apply.err));
        QCOMPARE(RunCtl(QStringList{"verify", profile.fileName(), "--port", tls} + ca).code, 0);
        // A ports-folder entry names a +tls port as it names a plain one.
        QFile entry(ports_.LinkPath(7));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write(servers_->Port("socket+tls", "rawtls").toUtf8() + "\n");
        entry.close();
        QCOMPARE(RunCtl(QStringList{"--port", "COM7", "read"} + ca).code, 0);
        // The environment names the files when no option does; an option wins over it.
        const auto environment = [this](QProcess &p) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("KV306_TLS_CA", certs_ + "/other-ca.crt");
            env.insert("KV306_TLS_CERT", certs_ + "/client.crt");
            env.insert("KV306_TLS_KEY", certs_ + "/client.key");
            p.setProcessEnvironment(env);
        };
        const QString asks = servers_->Port("rfc2217+tls", "clientauth");
        QCOMPARE(RunCtl({"--port", asks, "read"}, environment).code, 3);
        const CtlRun station = RunCtl(QStringList{"station", profile.fileName(), "--port", asks, "--once",
                                                  "--report", dir_.filePath("r.csv")} +
                                          ca,
                                      environment);
        QVERIFY2(station.code == 0 && station.out.contains(" pass"), qPrintable(station.out + station.err));
    }

    // Each refusal: exit 3, the server named with what to do, and not one request at the unit.
    void refusals_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("said");
        const QStringList ca{"--tls-ca", certs_ + "/ca.crt"};
        const QStringList client{"--tls-cert", certs_ + "/client.crt", "--tls-key", certs_ + "/client.key"};
        QTest::newRow("no authority named: the system's do not know it")
            << servers_->Port("rfc2217+tls", "tls") << QStringList{} << "signed by \"kv306 test CA\"";
        QTest::newRow("another authority")
            << servers_->Port("rfc2217+tls", "stranger") << ca << "signed by \"another CA\"";
        QTest::newRow("another name")
            << servers_->Port("rfc2217+tls", "elsewhere") << ca << "is for unit.plant.example, not 127.0.0.1";
        QTest::newRow("expired") << servers_->Port("rfc2217+tls", "expired") << ca << "expired on 2025-02-01";
        QTest::newRow("not yet valid") << servers_->Port("rfc2217+tls", "future") << ca << "valid from";
        QTest::newRow("our certificate wanted")
            << servers_->Port("rfc2217+tls", "clientauth") << ca << "asks for a client certificate";
        QTest::newRow("our certificate refused")
            << servers_->Port("rfc2217+tls", "clientauth")
            << ca + QStringList{"--tls-cert", certs_ + "/stranger-client.crt", "--tls-key",
                                certs_ + "/stranger-client.key"}
            << "refused our client certificate";
        QTest::newRow("a plain server") << servers_->Port("rfc2217+tls", "plain") << ca << "does not use TLS";
        QTest::newRow("a TLS server spoken to plainly")
            << servers_->Port("rfc2217", "tls") << ca << "uses TLS: use rfc2217+tls://";
        QTest::newRow("a TLS server, raw")
            << servers_->Port("socket", "rawtls") << ca << "uses TLS: use socket+tls://";
        QTest::newRow("a server that never answers the greeting")
            << QStringLiteral("socket+tls://127.0.0.1:%1").arg(silent_.serverPort()) << ca + client
            << "did not finish the TLS handshake within 2 s";
    }
    void refusals()
    {
        QFETCH(QString, port);
        QFETCH(QStringList, options);
        QFETCH(QString, said);
        const int before = unit_->Heard();
        const CtlRun read = RunCtl(QStringList{"--port", port, "read"} + options);
        QCOMPARE(read.code, 3);
        QVERIFY2(read.err.contains("error 8030") && read.err.contains(said) &&
                     read.err.contains("127.0.0.1:"),
                 qPrintable(read.err));
        // A plain server hands our greeting to the unit: that is the one way a byte gets there.
        if (!said.contains("does not use"))
            QCOMPARE(unit_->Heard(), before);
    }

    // A key that others may read is refused before any port is opened, as a certificate without
    // its key.
    void keyOthersMayRead()
    {
        QFile::copy(certs_ + "/client.key", dir_.filePath("open.key"));
        QFile::setPermissions(dir_.filePath("open.key"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        const CtlRun read =
            RunCtl({"--port", servers_->Port("rfc2217+tls", "clientauth"), "read", "--tls-cert",
                    certs_ + "/client.crt", "--tls-key", dir_.filePath("open.key")});
        QVERIFY2(read.code == 2 && read.err.contains("chmod 600"), qPrintable(read.err));
        const CtlRun half = RunCtl({"--port", servers_->Port("rfc2217+tls", "clientauth"), "read",
                                    "--tls-cert", certs_ + "/client.crt"});
        QVERIFY2(half.code == 2 && half.err.contains("without its key"), qPrintable(half.err));
    }

    // The window: 工具 → TLS 证书… refuses a key others may read and keeps what it takes; a +tls
    // port typed into the port list then reads with it, and a certificate out of its time is
    // said in the window's words.
    void windowTrustsWhatItIsTold()
    {
        Main m;
        TlsDialog *d = m.window.ShowTlsSettings();
        QVERIFY(QTest::qWaitForWindowExposed(d));
        QFile::copy(certs_ + "/client.key", dir_.filePath("shared.key"));
        QFile::setPermissions(dir_.filePath("shared.key"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        for (const auto &[field, text] :
             {std::pair{d->CaField(), certs_ + "/ca.crt"}, std::pair{d->CertField(), certs_ + "/client.crt"},
              std::pair{d->KeyField(), dir_.filePath("shared.key")}}) {
            QTest::mouseClick(field, Qt::LeftButton);
            QTest::keyClicks(field, text);
        }
        QPushButton *ok = d->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY2(m.toolkit.BoxTexts().join("").contains("chmod 600"),
                 qPrintable(m.toolkit.BoxTexts().join("")));
        QVERIFY(d->isVisible());
        d->CertField()->clear();
        d->KeyField()->clear();
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(UserSettings().value("tlsCa").toString(), certs_ + "/ca.crt");
        QCOMPARE(CurrentTlsTrust().caFile, certs_ + "/ca.crt");

        m.toolkit.Clear();
        DropList *list = m.window.Form().PortList();
        for (const char *way : {"tls", "expired"}) {
            list->setFocus();
            list->lineEdit()->selectAll();
            QTest::keyClicks(list, servers_->Port("rfc2217+tls", way));
            QTest::keyClick(list, Qt::Key_Return);
            m.window.Form().Actions().ReadClick();
        }
        const QStringList said = m.toolkit.BoxTexts();
        QCOMPARE(said.size(), 2);
        QCOMPARE(said[0], QStringLiteral("读出成功！"));
        QVERIFY2(said[1].contains("的证书已于") && said[1].contains("过期"), qPrintable(said[1]));
        SetTlsTrust({});
    }

private:
    QTemporaryDir dir_;
    QString certs_;
    SimPorts ports_;
    sim::SimUnit *unit_ = nullptr;
    std::unique_ptr<Servers> servers_;
    // Takes connections and says nothing: a greeting never answered.
    struct Silent : QTcpServer {
        Silent() { listen(QHostAddress::LocalHost, 0); }
    } silent_;
};

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
