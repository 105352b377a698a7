#include "panel/form1.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "link/texts.h"
#include "panel/program_files.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDir>

#include <algorithm>

namespace kv306 {

namespace {

// The window is laid out in twips; 15 twips make a pixel at 96 dots per inch.
void Place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(left / 15, top / 15, width / 15, height / 15);
}

// In another language a caption may be a short form; its full meaning is then the tooltip.
void Explain(QWidget *w, const char *meaning)
{
    const QString tip = Tx::tr(meaning);
    if (tip != QString::fromUtf8(meaning))
        w->setToolTip(tip);
}

QLabel *MakeLabel(const char *caption, QWidget *parent, int left, int top, int width, int height)
{
    auto *label = new QLabel(Tx::tr(caption), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(label, left, top, width, height);
    return label;
}

template <typename Button>
Button *MakeButton(const char *caption, QWidget *parent, int left, int top, int width, int height)
{
    auto *button = new Button(Tx::tr(caption), parent);
    Place(button, left, top, width, height);
    return button;
}

// Parameter k's list, its entries from the parameters' table.
DropList *MakeList(QWidget *parent, int k, int left, int top, int width, int height)
{
    auto *list = new DropList(parent);
    list->addItems(ParamEntries(k));
    list->SetKeepsSelection(true);
    Place(list, left, top, width, height);
    return list;
}

const char *const kTitle = QT_TRANSLATE_NOOP("Tx", "圆形十字线视频字符叠加器KV306 参数设置及操控软件V1.1");

}  // namespace

Form1::Form1(Toolkit &toolkit, QWidget *parent)
    : QWidget(parent), toolkit_(toolkit), link_(serial_, toolkit), actions_(link_, serial_, toolkit, *this)
{
    setWindowTitle(Tx::tr(kTitle));
    BuildControls();
    ports_ = std::make_unique<PortChooser>(*portList_, serial_, link_, toolkit_);
    ports_->Changed = [this] { emit PortChanged(); };
    ports_->SettleProbes = [this] {
        if (SettleProbes)
            SettleProbes();
    };
    WireEvents();
}

Form1::~Form1() = default;

QStringList Form1::FontFamilies()
{
    return {QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("Noto Sans CJK SC")};
}

void Form1::BuildControls()
{
    QFont font = this->font();
    font.setFamilies(FontFamilies());
    font.setPointSize(9);
    setFont(font);
    setFixedSize(7995 / 15, 3435 / 15);

    portLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "选择串口"), this, 360, 240, 1215, 375);
    portList_ = new DropList(this);
    Place(portList_, 1200, 240, 1215, 300);
    portList_->SetPicksOnly(true);
    // A port behind a serial device server is typed: "rfc2217://192.168.1.20:2217".
    portList_->AcceptTyped = [](const QString &typed) {
        const Checked<PortRef> port = PortRef::Read(typed);
        return port && port->kind() == PortRef::Kind::Server;
    };
    portList_->setItemDelegate(new PortEntryDelegate(portList_));
    toggleButtons_[0] =
        MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "叠加开关"), this, 2640, 120, 1575, 495);
    toggleButtons_[1] =
        MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "十字线开关"), this, 4440, 120, 1575, 495);
    helpButton_ = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "使用帮助"), this, 6480, 120, 1215, 495);
    paramsFrame_ = new QGroupBox(this);
    Place(paramsFrame_, 240, 600, 7575, 2295);
    sentLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "发送："), this, 240, 3120, 855, 255);
    sentFrameField_ = new QLineEdit(this);
    Place(sentFrameField_, 840, 3000, 6975, 375);

    QWidget *f = paramsFrame_;
    offsetLabels_[0] = MakeLabel(QT_TRANSLATE_NOOP("Tx", "水平偏移"), f, 360, 360, 1455, 255);
    paramLists_[0] = MakeList(f, 0, 360, 600, 1095, 300);
    horizontalButtons_[0] = MakeButton<NudgeButton>(">", f, 1440, 360, 495, 375);
    horizontalButtons_[1] = MakeButton<NudgeButton>("<", f, 1440, 720, 495, 375);
    offsetLabels_[1] = MakeLabel(QT_TRANSLATE_NOOP("Tx", "垂直偏移"), f, 2280, 360, 1455, 255);
    paramLists_[1] = MakeList(f, 1, 2280, 600, 1095, 300);
    verticalButtons_[1] = MakeButton<NudgeButton>("∧", f, 3360, 360, 495, 375);
    verticalButtons_[0] = MakeButton<NudgeButton>("∨", f, 3360, 720, 495, 375);
    sizeLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "圆大小调整"), f, 4080, 360, 1095, 375);
    paramLists_[2] = MakeList(f, 2, 4080, 600, 1095, 300);
    sizeButtons_[0] = MakeButton<NudgeButton>("∧", f, 5160, 360, 495, 375);
    sizeButtons_[1] = MakeButton<NudgeButton>("∨", f, 5160, 720, 495, 375);
    readButton_ = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "读出"), f, 6000, 240, 1455, 375);
    saveButton_ = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "保存"), f, 5760, 1200, 1695, 855);
    standardLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "视频制式"), f, 360, 1440, 1215, 255);
    paramLists_[3] = MakeList(f, 3, 360, 1680, 1095, 300);
    roundnessLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "圆度调整"), f, 2280, 1440, 1215, 255);
    paramLists_[4] = MakeList(f, 4, 2280, 1680, 1095, 300);
    outsideLabel_ = MakeLabel(QT_TRANSLATE_NOOP("Tx", "最大圆外十字线"), f, 4080, 1440, 1575, 255);
    paramLists_[5] = MakeList(f, 5, 4080, 1680, 1455, 300);

    // Where another language shortens a caption to fit, the tooltip says it whole.
    Explain(portLabel_, QT_TRANSLATE_NOOP("Tx", "选择串口：叠加器所接的串口"));
    Explain(toggleButtons_[0], QT_TRANSLATE_NOOP("Tx", "叠加开关：打开或关闭整个叠加画面"));
    Explain(toggleButtons_[1], QT_TRANSLATE_NOOP("Tx", "十字线开关：打开或关闭十字线"));
    Explain(offsetLabels_[0], QT_TRANSLATE_NOOP("Tx", "水平偏移：0 到 63"));
    Explain(offsetLabels_[1], QT_TRANSLATE_NOOP("Tx", "垂直偏移：0 到 63"));
    Explain(sizeLabel_, QT_TRANSLATE_NOOP("Tx", "圆大小调整：0 到 51"));
    Explain(standardLabel_, QT_TRANSLATE_NOOP("Tx", "视频制式：PAL 或 NTSC"));
    Explain(roundnessLabel_, QT_TRANSLATE_NOOP("Tx", "圆度调整：0 到 3"));
    Explain(outsideLabel_, QT_TRANSLATE_NOOP("Tx", "最大圆外十字线：保留或去除最大的圆外面的十字线"));

    const std::array<QWidget *, 19> tabOrder{paramLists_[0],
                                             paramLists_[1],
                                             paramLists_[3],
                                             paramLists_[4],
                                             sizeButtons_[0],
                                             sizeButtons_[1],
                                             readButton_,
                                             paramLists_[2],
                                             sentFrameField_,
                                             saveButton_,
                                             portList_,
                                             helpButton_,
                                             paramLists_[5],
                                             horizontalButtons_[0],
                                             horizontalButtons_[1],
                                             verticalButtons_[1],
                                             verticalButtons_[0],
                                             toggleButtons_[0],
                                             toggleButtons_[1]};
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    paramLists_[0]->setFocus();
    NameControls();
    NameForScreenReaders();
}

void Form1::NameForScreenReaders()
{
    // A list is named by its caption, not by the value it shows; an arrow by what it does to
    // the value (index 0 raises it).
    for (int k = 0; k < kParamCount; ++k)
        paramLists_[static_cast<std::size_t>(k)]->setAccessibleName(ParamCaption(k));
    const std::array<std::pair<const std::array<NudgeButton *, 2> *, int>, 3> arrows{
        {{&horizontalButtons_, 0}, {&verticalButtons_, 1}, {&sizeButtons_, 2}}};
    for (const auto &[buttons, k] : arrows) {
        (*buttons)[0]->setAccessibleName(Tx::tr("%1 增大").arg(ParamCaption(k)));
        (*buttons)[1]->setAccessibleName(Tx::tr("%1 减小").arg(ParamCaption(k)));
    }
    portList_->setAccessibleName(Tx::tr("选择串口"));
    // Screen readers on Linux name an editable list by the text it shows; its caption reaches
    // them through the "labelled by" relation, which a label's buddy makes.
    for (int k = 0; k < kParamCount; ++k)
        CaptionLabels()[static_cast<std::size_t>(k)]->setBuddy(paramLists_[static_cast<std::size_t>(k)]);
    portLabel_->setBuddy(portList_);
    sentLabel_->setBuddy(sentFrameField_);
    sentFrameField_->setAccessibleName(Tx::tr("发送："));
}

void Form1::NameControls()
{
    // The names the form was drawn with (the table in form1.h).
    const auto name = [](QObject *control, const char *base, int index = -1) {
        control->setObjectName(index < 0 ? QLatin1String(base)
                                         : QStringLiteral("%1_%2").arg(base).arg(index));
    };
    for (int k = 0; k < kParamCount; ++k)
        name(paramLists_[static_cast<std::size_t>(k)], "Combo1", k);
    for (int i = 0; i < 2; ++i) {
        const auto u = static_cast<std::size_t>(i);
        name(sizeButtons_[u], "Command2", i);
        name(toggleButtons_[u], "Command5", i);
        name(horizontalButtons_[u], "Command6", i);
        name(verticalButtons_[u], "Command8", i);
        name(offsetLabels_[u], "Label1", i);
    }
    name(portList_, "Combo2");
    name(saveButton_, "Command1");
    name(readButton_, "Command3");
    name(helpButton_, "Command4");
    name(standardLabel_, "Label2");
    name(roundnessLabel_, "Label3");
    name(sizeLabel_, "Label4");
    name(portLabel_, "Label5");
    name(outsideLabel_, "Label6");
    name(sentLabel_, "Label7");
    name(sentFrameField_, "Text1");
    name(paramsFrame_, "Frame1");
    name(&serial_, "MSComm1");
}

void Form1::WireEvents()
{
    for (qint16 k = 0; k < 6; ++k) {
        DropList *list = paramLists_[static_cast<std::size_t>(k)];
        connect(list, &DropList::Click, this, [this, k] { OnParamChosen(k); });
        connect(list, &DropList::TypedTextPutBack, this,
                [this, k](const QString &typed) { TellTypedValue(k, typed); });
        // An entry picked after a value was put back: the operator has chosen again.
        connect(list, &QComboBox::activated, this, [this] { typedValuePutBack_ = false; });
    }
    connect(portList_, &DropList::Click, this, &Form1::OnPortChosen);
    connect(portList_, &DropList::AboutToOpen, this, [this] { FollowPlug(); });
    connect(saveButton_, &QPushButton::clicked, this, [this] { RunAction([&] { actions_.SaveClick(); }); });
    connect(readButton_, &QPushButton::clicked, this, [this] { RunAction([&] { actions_.ReadClick(); }); });
    connect(helpButton_, &QPushButton::clicked, this, &Form1::OnHelpClicked);
    for (qint16 i = 0; i < 2; ++i) {
        const auto u = static_cast<std::size_t>(i);
        connect(toggleButtons_[u], &QPushButton::clicked, this,
                [this, i] { RunAction([&] { actions_.ToggleClick(i); }); });
        const std::array<std::pair<NudgeButton *, NudgePair>, 3> nudges{
            {{horizontalButtons_[u], NudgePair::Horizontal},
             {verticalButtons_[u], NudgePair::Vertical},
             {sizeButtons_[u], NudgePair::CircleSize}}};
        for (const auto &[button, pair] : nudges) {
            connect(button, &NudgeButton::MouseDown, this,
                    [this, pair = pair, i] { RunAction([&] { actions_.NudgePress(pair, i); }); });
            connect(button, &NudgeButton::MouseUp, this, [this] { actions_.NudgeRelease(); });
        }
    }
}

void Form1::RunAction(const std::function<void()> &action)
{
    for (DropList *list : paramLists_)
        list->PutBackTypedText();
    // A value put back, here or as the list lost the focus to the button pressed (a mouse click
    // moves the focus first): the press that follows sends nothing.
    if (typedValuePutBack_) {
        typedValuePutBack_ = false;
        // The operator meant another value than the one shown: nothing is sent until they have
        // seen what the list shows now.
        emit Noted(notice_ + Tx::tr("没有发送。"));
        return;
    }
    if (SettleProbes)
        SettleProbes();
    action();
}

void Form1::ShowNotice()
{
    // A bubble of its own rather than a tooltip: a tooltip goes with the next key or click, and
    // the action's box would take it away before it is read.
    if (!noticeBubble_) {
        noticeBubble_ = new QLabel(this, Qt::ToolTip | Qt::FramelessWindowHint);
        noticeBubble_->setForegroundRole(QPalette::ToolTipText);
        noticeBubble_->setBackgroundRole(QPalette::ToolTipBase);
        noticeBubble_->setAutoFillBackground(true);
        noticeBubble_->setMargin(4);
        noticeBubble_->setFrameStyle(QFrame::Box | QFrame::Plain);
        noticeTimer_.setSingleShot(true);
        connect(&noticeTimer_, &QTimer::timeout, noticeBubble_, &QWidget::hide);
    }
    QWidget *field = noticeField_ ? noticeField_ : this;
    noticeBubble_->setText(notice_);
    noticeBubble_->adjustSize();
    noticeBubble_->move(field->mapToGlobal(QPoint(0, field->height() + 2)));
    noticeBubble_->show();
    noticeTimer_.start(8000);
}

void Form1::TellTypedValue(int list, const QString &typed)
{
    DropList *field = paramLists_[static_cast<std::size_t>(list)];
    const QString last = field->itemText(field->count() - 1);
    const QString range = field->itemText(0) == QLatin1String("0") ? QStringLiteral("0–") + last
                                                                   : field->itemText(0) + Tx::tr("、") + last;
    notice_ = Tx::tr("%1 不是%2的取值（%3），已改回 %4。")
                  .arg(typed.left(20), ParamCaption(list), range, field->Text());
    typedValuePutBack_ = true;
    // Said beside the list, without a box: the action goes on with the value shown.
    noticeField_ = field;
    ShowNotice();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A hold cannot outlive the window: its release will never come. (The main window closes
    // the form when it closes.)
    actions_.NudgeStop = true;
    QWidget::closeEvent(event);
}

std::array<QLabel *, kParamCount> Form1::CaptionLabels() const
{
    return {offsetLabels_[0], offsetLabels_[1], sizeLabel_, standardLabel_, roundnessLabel_, outsideLabel_};
}

QString Form1::ListCaption(int k) const
{
    return CaptionLabels()[static_cast<std::size_t>(k)]->text();
}

int Form1::ListIndex(int list) const
{
    return paramLists_[static_cast<std::size_t>(list)]->ListIndex();
}

void Form1::SelectListIndex(int list, int position)
{
    paramLists_[static_cast<std::size_t>(list)]->SetListIndex(position);
}

QString Form1::DisplayText() const
{
    return sentFrameField_->text();
}

void Form1::SetDisplayText(const QString &text)
{
    sentFrameField_->setText(text);
}

void Form1::OnParamChosen(qint16 index)
{
    // Choosing a video standard presets the offsets, the circle size and the roundness.
    if (index != IndexOf(ParamId::Standard) || presetHeld_)
        return;
    const int standard = ListIndex(IndexOf(ParamId::Standard));
    if (standard != 0 && standard != 1)
        return;
    for (int k = 0; k < kParamCount; ++k) {
        const int value = Param(k).preset[static_cast<std::size_t>(standard)];
        if (value >= 0)
            SelectListIndex(k, value);
    }
    // Four other lists changed at one pick: say so.
    const auto preset = [standard](ParamId id) {
        return Param(id).preset[static_cast<std::size_t>(standard)];
    };
    if (!loading_)
        emit Noted(Tx::tr("已按 %1 预设 水平 %2 垂直 %3 圆 %4 圆度 %5")
                       .arg(ParamShown(IndexOf(ParamId::Standard), standard))
                       .arg(preset(ParamId::Horizontal))
                       .arg(preset(ParamId::Vertical))
                       .arg(preset(ParamId::Size))
                       .arg(preset(ParamId::Roundness)));
}

bool Form1::Load()
{
    // The first selections, in the form's own order. Choosing PAL presets the offsets, the circle
    // size and the roundness: the video standard is chosen first to run the preset, and once more
    // at the end, after the roundness and the crosshair list have their own first selections, so
    // that the window opens at 22, 20, 25, PAL, 3, 保留 whatever the order of the lists before.
    loading_ = true;
    SelectListIndex(0, 13);
    SelectListIndex(1, 20);
    SelectListIndex(2, 0);
    SelectListIndex(3, 0);
    SelectListIndex(4, 3);
    SelectListIndex(5, 0);
    SelectListIndex(3, 0);
    loading_ = false;
    return ports_->Start();
}

Checked<PortRef> Form1::ShownPort() const
{
    return ports_->Shown();
}

QString Form1::ScanPorts()
{
    return ports_->ScanPorts();
}

void Form1::FollowPlug(bool always)
{
    ports_->FollowPlug(always);
}

void Form1::OnPortChosen()
{
    ports_->OnPortChosen();
}

QString Form1::PortProblem() const
{
    return ports_->Problem();
}

void Form1::OnHelpClicked()
{
    // The help text has a twin in each language the window speaks.
    OpenHelpFile(toolkit_, HelpFilePath(toolkit_.AppPath(), Tx::tr("help.txt")), this);
}

}  // namespace kv306
