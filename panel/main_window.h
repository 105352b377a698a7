#pragma once

#include "panel/form1.h"
#include "panel/log_window.h"
#include "panel/production_dialog.h"
#include "panel/tls_dialog.h"
#include "protocol/traffic_log.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <vector>

namespace kv306 {

// The window as the program shows it: a menu bar over Form1, which keeps its size and every
// control's place. The menus carry the extras: profiles in files, check after write, the
// traffic log and finding the unit.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Toolkit &toolkit, QWidget *parent = nullptr);
    ~MainWindow() override;

    Form1 &Form() { return *form_; }
    TrafficLog &Log() { return log_; }

    // 文件
    void ExportParams();
    void ImportParams();
    // 工具
    void FindUnit();
    void SetVerifyAfterSave(bool on);
    // After start-up, when 启动时读出参数 is ticked: one read of the unit into the lists, without
    // a box, so that a save before any read cannot overwrite the unit with the window's defaults.
    void ReadAtStart();
    // The status line: the last action's outcome with its time, and the port in use.
    QString StatusText() const;
    LogWindow &ShowLog();
    // 生产模式: the station on the window's port with the lists' values; the window's own
    // controls rest while it runs.
    // Nothing when there is no port to run on (the operator is told).
    ProductionDialog *ShowProduction();
    // 工具 → TLS 证书…: the +tls ports' trust and certificate.
    TlsDialog *ShowTlsSettings();
    // 帮助
    void About();

    QAction *exportAction = nullptr;
    QAction *importAction = nullptr;
    QAction *quitAction = nullptr;
    QAction *findAction = nullptr;
    QAction *verifyAction = nullptr;
    QAction *readAtStartAction = nullptr;
    QAction *logAction = nullptr;
    QAction *productionAction = nullptr;
    QAction *tlsAction = nullptr;
    QAction *helpAction = nullptr;
    QAction *aboutAction = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

    // The status line's outcome, with the time it happened.
    void SetOutcome(const QString &text, const QDateTime &at = QDateTime::currentDateTime());

private:
    void BuildMenus();
    void BuildStatusLine();
    // The port in use and its device; with `problem`, also why it is not the remembered one.
    void ShowPort(bool problem);
    // Shows the port's device anew when it has changed (a simulator restarted on another
    // terminal, an adapter plugged back in).
    void FollowPortDevice();
    // An exchange under way: a wait cursor and what is being done; an empty text ends it.
    void ShowBusy(const QString &what);
    // Waits for probes that a cancelled search let go, so that none holds a port.
    void SettleProbes();

    Toolkit &toolkit_;
    TrafficLog log_;
    Form1 *form_ = nullptr;
    QPointer<LogWindow> logWindow_;
    QPointer<ProductionDialog> production_;
    QLabel *outcomeStatus_ = nullptr;
    QLabel *portStatus_ = nullptr;
    QString shownDevice_;
    QTimer devicePoll_;
    bool busyCursor_ = false;
    // Probes that a cancelled search let go; they end within the reply wait's bound.
    std::vector<QThread *> letGo_;
};

}  // namespace kv306
