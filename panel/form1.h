#pragma once

#include "link/port_access.h"
#include "link/serial_control.h"
#include "link/serial_link.h"
#include "panel/controls.h"
#include "panel/panel_view.h"
#include "panel/unit_actions.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

namespace kv306 {

// The one window. Controls keep the names the window gives them; an array member k stands for
// name(k).
class Form1 : public QWidget, public PanelView {
    Q_OBJECT
public:
    explicit Form1(Toolkit &toolkit, QWidget *parent = nullptr);
    ~Form1() override;

    // The load, before the window is first shown: first selections, serial set-up, port scan and
    // the remembered port. False when no port exists at all: the operator has been told and the
    // program ends without showing the window.
    bool Load();

    // Refills the port list with the ports 1 to 20 that open; returns their numbers ("2,5").
    QString ScanPorts();
    // On opening the port list: when the devices behind COM1 to COM20 have changed since the last
    // scan, scans again without disturbing the port in use. Opens nothing when nothing changed.
    void FollowPlug();

    // Click handlers.
    void Combo1Click(qint16 index);
    void Combo2Click();
    void Command4Click();

    // What the unit's actions see.
    int ListIndex(int list) const override;
    void SelectListIndex(int list, int position) override;
    void HoldPreset(bool held) override { presetHeld_ = held; }
    QString DisplayText() const override;
    void SetDisplayText(const QString &text) override;

    std::array<QLabel *, 2> Label1{};
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    std::array<DropList *, 6> Combo1{};
    DropList *Combo2 = nullptr;
    QPushButton *Command1 = nullptr;
    std::array<NudgeButton *, 2> Command2{};
    QPushButton *Command3 = nullptr;
    QPushButton *Command4 = nullptr;
    std::array<QPushButton *, 2> Command5{};
    std::array<NudgeButton *, 2> Command6{};
    std::array<NudgeButton *, 2> Command8{};
    QLineEdit *Text1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    MSComm MSComm1;

    // What the window last told the operator without a box (a typed value it put back).
    QString Notice() const { return notice_; }

    SerialLink &Link() { return link_; }
    UnitActions &Actions() { return actions_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    void WireEvents();
    // Tries port n on `comm`, lists it when it opens, notes it when refused for permission.
    bool TryPort(MSComm &comm, int n);
    void DescribeEntries();
    // Runs a button's action. First, typed text in a parameter list that names no entry goes
    // back to the selected entry, and the operator is told, so the value sent is the one shown.
    void RunAction(const std::function<void()> &action);
    void TellTypedValue(int list, const QString &typed);
    void ShowNotice();

    Toolkit &toolkit_;
    SerialLink link_;
    UnitActions actions_;
    bool presetHeld_ = false;
    // Off while start-up falls back on the first port for one run: the remembered port is kept.
    bool rememberChoice_ = true;
    QList<Refusal> refused_;
    QStringList busy_;  // ports that another program holds, found by the scan
    QString notice_;
    QWidget *noticeField_ = nullptr;
    QLabel *noticeBubble_ = nullptr;
    QTimer noticeTimer_;
    QStringList presence_;
};

}  // namespace kv306
