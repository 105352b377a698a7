#pragma once

#include "link/tls_stream.h"

#include <QDialog>
#include <QLineEdit>

namespace kv306 {

class Toolkit;

// 工具 → TLS 证书…: whom the window's +tls ports trust (a CA file, or the system's authorities)
// and its own certificate with its key, for a serial device server that asks for one. Kept in
// the settings, checked before they are kept.
class TlsDialog : public QDialog {
    Q_OBJECT
public:
    explicit TlsDialog(Toolkit &toolkit, QWidget *parent = nullptr);

    QLineEdit *CaField() const { return fields_[0]; }
    QLineEdit *CertField() const { return fields_[1]; }
    QLineEdit *KeyField() const { return fields_[2]; }
    // 确定: the files checked, kept and used from the next connection on; a refusal says why
    // and keeps the dialog open.
    void accept() override;

    // The settings' trust, for the process: at start-up and after each change.
    static void UseSaved();

private:
    Toolkit &toolkit_;
    QLineEdit *fields_[3] = {};
};

}  // namespace kv306
