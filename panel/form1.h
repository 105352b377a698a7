#pragma once

#include "link/port_access.h"
#include "link/serial_control.h"
#include "link/serial_link.h"
#include "panel/controls.h"
#include "panel/panel_view.h"
#include "panel/port_chooser.h"
#include "panel/unit_actions.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace kv306 {

// The one window.
//
// Its controls are named here for what they do; each widget's objectName keeps the name the
// form was drawn with, so that either name finds it:
//
//   member                objectName            what it is
//   paramLists_[k]        Combo1_0..Combo1_5    the six parameter lists, in wire order
//   portList_             Combo2                the port list ("选择串口")
//   saveButton_           Command1              "保存"
//   sizeButtons_[i]       Command2_0, _1        circle size ∧ (0), ∨ (1)
//   readButton_           Command3              "读出"
//   helpButton_           Command4              "使用帮助"
//   toggleButtons_[i]     Command5_0, _1        "叠加开关" (0), "十字线开关" (1)
//   horizontalButtons_[i] Command6_0, _1        horizontal offset > (0), < (1)
//   verticalButtons_[i]   Command8_0, _1        vertical offset ∨ (0), ∧ (1)
//   offsetLabels_[i]      Label1_0, _1          "水平偏移", "垂直偏移"
//   standardLabel_        Label2                "视频制式"
//   roundnessLabel_       Label3                "圆度调整"
//   sizeLabel_            Label4                "圆大小调整"
//   portLabel_            Label5                "选择串口"
//   outsideLabel_         Label6                "最大圆外十字线"
//   sentLabel_            Label7                "发送："
//   sentFrameField_       Text1                 the frame last sent, in hex
//   paramsFrame_          Frame1                the frame around the parameters
//   serial_               MSComm1               the serial control
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
    // scan, or a port was busy then, scans again without disturbing the port in use. Opens
    // nothing when nothing changed and nothing was busy; `always` scans in any case.
    void FollowPlug(bool always = false);

    // A parameter list's pick (k its position): choosing a video standard presets the others.
    void OnParamChosen(qint16 k);
    // A port picked in the port list: the serial control takes it and Com.TXT remembers it.
    void OnPortChosen();
    // "使用帮助": help.txt in the system's text viewer, else in the tool's own.
    void OnHelpClicked();

    // What the unit's actions see.
    int ListIndex(int list) const override;
    void SelectListIndex(int list, int position) override;
    void HoldPreset(bool held) override { presetHeld_ = held; }
    QString DisplayText() const override;
    void SetDisplayText(const QString &text) override;

    // The controls, for the menus and for tests.
    const std::array<DropList *, kParamCount> &ParamLists() const { return paramLists_; }
    DropList *PortList() const { return portList_; }
    // The port the list shows (PortChooser::Shown).
    Checked<PortRef> ShownPort() const;
    QPushButton *SaveButton() const { return saveButton_; }
    QPushButton *ReadButton() const { return readButton_; }
    QPushButton *HelpButton() const { return helpButton_; }
    const std::array<QPushButton *, 2> &ToggleButtons() const { return toggleButtons_; }
    const std::array<NudgeButton *, 2> &HorizontalButtons() const { return horizontalButtons_; }
    const std::array<NudgeButton *, 2> &VerticalButtons() const { return verticalButtons_; }
    const std::array<NudgeButton *, 2> &SizeButtons() const { return sizeButtons_; }
    QLabel *OutsideLabel() const { return outsideLabel_; }
    QLabel *SentLabel() const { return sentLabel_; }
    QLineEdit *SentFrameField() const { return sentFrameField_; }
    QGroupBox *ParamsFrame() const { return paramsFrame_; }
    SerialControl &Serial() { return serial_; }

    // The controls' font, first choice first: one family for Chinese and Latin alike.
    static QStringList FontFamilies();

    // Parameter k's list as its label names it ("圆大小调整").
    QString ListCaption(int k) const;

    // What the window last told the operator without a box (a typed value it put back).
    QString Notice() const { return notice_; }
    // Why the port in use is not the one Com.TXT remembers; empty when it is.
    QString PortProblem() const;

    // Runs before the window opens a port of its own accord (an action, following the ports), so
    // that a probe it let go has ended and does not hold the port.
    std::function<void()> SettleProbes;

signals:
    // The port in use may have changed (start-up, a port chosen).
    void PortChanged();
    // Something the operator should know that is no action's outcome (a preset applied, a typed
    // value that stopped an action), for the status line.
    void Noted(const QString &text);

public:
    SerialLink &Link() { return link_; }
    UnitActions &Actions() { return actions_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    void NameControls();
    void NameForScreenReaders();
    void WireEvents();
    // Runs a button's action. First, typed text in a parameter list that names no entry goes
    // back to the selected entry, and the operator is told, so the value sent is the one shown.
    void RunAction(const std::function<void()> &action);
    void TellTypedValue(int list, const QString &typed);
    void ShowNotice();
    // The label above each parameter list, in wire order.
    std::array<QLabel *, kParamCount> CaptionLabels() const;

    std::array<QLabel *, 2> offsetLabels_{};
    QLabel *standardLabel_ = nullptr;
    QLabel *roundnessLabel_ = nullptr;
    QLabel *sizeLabel_ = nullptr;
    QLabel *portLabel_ = nullptr;
    QLabel *outsideLabel_ = nullptr;
    QLabel *sentLabel_ = nullptr;
    std::array<DropList *, kParamCount> paramLists_{};
    DropList *portList_ = nullptr;
    QPushButton *saveButton_ = nullptr;
    std::array<NudgeButton *, 2> sizeButtons_{};
    QPushButton *readButton_ = nullptr;
    QPushButton *helpButton_ = nullptr;
    std::array<QPushButton *, 2> toggleButtons_{};
    std::array<NudgeButton *, 2> horizontalButtons_{};
    std::array<NudgeButton *, 2> verticalButtons_{};
    QLineEdit *sentFrameField_ = nullptr;
    QGroupBox *paramsFrame_ = nullptr;
    SerialControl serial_;

    Toolkit &toolkit_;
    SerialLink link_;
    UnitActions actions_;
    bool presetHeld_ = false;
    // A typed value was put back and no action has been refused for it yet.
    bool typedValuePutBack_ = false;
    bool loading_ = false;
    std::unique_ptr<PortChooser> ports_;
    QString notice_;
    QWidget *noticeField_ = nullptr;
    QLabel *noticeBubble_ = nullptr;
    QTimer noticeTimer_;
};

}  // namespace kv306
