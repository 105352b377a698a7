#include "panel/tls_dialog.h"

#include "link/texts.h"
#include "panel/program_files.h"
#include "panel/toolkit.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace kv306 {

namespace {

constexpr const char *kKeys[] = {"tlsCa", "tlsCert", "tlsKey"};

TlsTrust SavedTrust()
{
    QSettings settings = UserSettings();
    return {settings.value(QLatin1String(kKeys[0])).toString(),
            settings.value(QLatin1String(kKeys[1])).toString(),
            settings.value(QLatin1String(kKeys[2])).toString()};
}

}  // namespace

void TlsDialog::UseSaved()
{
    SetTlsTrust(SavedTrust());
}

TlsDialog::TlsDialog(Toolkit &toolkit, QWidget *parent) : QDialog(parent), toolkit_(toolkit)
{
    setObjectName(QStringLiteral("TlsDialog"));
    setWindowTitle(Tx::tr("TLS 证书"));
    auto *grid = new QGridLayout(this);
    auto *about = new QLabel(
        Tx::tr("用于 rfc2217+tls:// 和 socket+tls:// 串口：串口服务器的证书要由信任的证书机构签发，"
               "名字要与串口名里的主机相同。"),
        this);
    about->setWordWrap(true);
    grid->addWidget(about, 0, 0, 1, 3);
    const QString captions[] = {Tx::tr("CA 文件："), Tx::tr("本机证书："), Tx::tr("本机私钥：")};
    const QString hints[] = {Tx::tr("不填：使用系统信任的证书机构"), Tx::tr("串口服务器要求客户端证书时填写"),
                             Tx::tr("与本机证书配套，只有本用户可读")};
    const char *const names[] = {"caField", "certField", "keyField"};
    const TlsTrust saved = SavedTrust();
    const QString values[] = {saved.caFile, saved.certFile, saved.keyFile};
    for (int i = 0; i < 3; ++i) {
        fields_[i] = new QLineEdit(QDir::toNativeSeparators(values[i]), this);
        fields_[i]->setObjectName(QLatin1String(names[i]));
        fields_[i]->setPlaceholderText(hints[i]);
        fields_[i]->setMinimumWidth(360);
        auto *label = new QLabel(captions[i], this);
        label->setBuddy(fields_[i]);
        auto *choose = new QPushButton(Tx::tr("选择…"), this);
        choose->setAutoDefault(false);
        connect(choose, &QPushButton::clicked, this, [this, i, captions] {
            const QString chosen = toolkit_.AskOpenFile(
                captions[i], QDir::homePath(), Tx::tr("证书和私钥 (*.pem *.crt *.key *.cer);;所有文件 (*)"));
            if (!chosen.isEmpty())
                fields_[i]->setText(QDir::toNativeSeparators(chosen));
        });
        grid->addWidget(label, i + 1, 0);
        grid->addWidget(fields_[i], i + 1, 1);
        grid->addWidget(choose, i + 1, 2);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &TlsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 4, 0, 1, 3);
}

void TlsDialog::accept()
{
    QString paths[3];
    for (int i = 0; i < 3; ++i)
        paths[i] = QDir::fromNativeSeparators(fields_[i]->text().trimmed());
    const TlsTrust trust{paths[0], paths[1], paths[2]};
    if (const Done usable = CheckTlsTrust(trust); !usable) {
        toolkit_.MsgBox(Tx::tr("TLS 证书不能用：\n%1").arg(usable.reason), kMsgExclamation,
                        Tx::tr("TLS 证书"));
        return;
    }
    QSettings settings = UserSettings();
    for (int i = 0; i < 3; ++i)
        settings.setValue(QLatin1String(kKeys[i]), paths[i]);
    SetTlsTrust(trust);
    QDialog::accept();
}

}  // namespace kv306
