#include "panel/form1.h"

#include "link/comm_error.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "link/texts.h"
#include "panel/program_files.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QPointer>
#include <QStandardPaths>

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

struct Preset {
    int horizontal, vertical, circle, roundness;
};
constexpr Preset kPal{22, 20, 25, 3};
constexpr Preset kNtsc{17, 16, 25, 1};

const char *const kTitle = QT_TRANSLATE_NOOP("Tx", "圆形十字线视频字符叠加器KV306 参数设置及操控软件V1.1");
const char *const kNoPort = QT_TRANSLATE_NOOP("Tx", "在你的电脑找不到串口，先安装USB转串口后重新打开程序");
const char *const kNoPortField = QT_TRANSLATE_NOOP("Tx", "无串口");
const char *const kAllBusy = QT_TRANSLATE_NOOP(
    "Tx", "串口都被其他程序占用：%1\n请先关闭占用串口的程序（例如另一个已打开的本软件），然后重新打开程序。");
const char *const kRememberedGone =
    QT_TRANSLATE_NOOP("Tx", "找不到串口，如果之前使用USB转串口设备，请插入后重新运行程序");

}  // namespace

Form1::Form1(Toolkit &toolkit, QWidget *parent)
    : QWidget(parent), toolkit_(toolkit), link_(MSComm1, toolkit), actions_(link_, MSComm1, toolkit, *this)
{
    setWindowTitle(Tx::tr(kTitle));
    BuildControls();
    WireEvents();
}

Form1::~Form1() = default;

void Form1::BuildControls()
{
    QFont font = this->font();
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    setFont(font);
    setFixedSize(7995 / 15, 3435 / 15);

    Label5 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "选择串口"), this, 360, 240, 1215, 375);
    Combo2 = new DropList(this);
    Place(Combo2, 1200, 240, 1215, 300);
    Combo2->SetPicksOnly(true);
    Combo2->setItemDelegate(new PortEntryDelegate(Combo2));
    Command5[0] = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "叠加开关"), this, 2640, 120, 1575, 495);
    Command5[1] = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "十字线开关"), this, 4440, 120, 1575, 495);
    Command4 = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "使用帮助"), this, 6480, 120, 1215, 495);
    Frame1 = new QGroupBox(this);
    Place(Frame1, 240, 600, 7575, 2295);
    Label7 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "发送："), this, 240, 3120, 855, 255);
    Text1 = new QLineEdit(this);
    Place(Text1, 840, 3000, 6975, 375);

    QWidget *f = Frame1;
    Label1[0] = MakeLabel(QT_TRANSLATE_NOOP("Tx", "水平偏移"), f, 360, 360, 1455, 255);
    Combo1[0] = MakeList(f, 0, 360, 600, 1095, 300);
    Command6[0] = MakeButton<NudgeButton>(">", f, 1440, 360, 495, 375);
    Command6[1] = MakeButton<NudgeButton>("<", f, 1440, 720, 495, 375);
    Label1[1] = MakeLabel(QT_TRANSLATE_NOOP("Tx", "垂直偏移"), f, 2280, 360, 1455, 255);
    Combo1[1] = MakeList(f, 1, 2280, 600, 1095, 300);
    Command8[1] = MakeButton<NudgeButton>("∧", f, 3360, 360, 495, 375);
    Command8[0] = MakeButton<NudgeButton>("∨", f, 3360, 720, 495, 375);
    Label4 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "圆大小调整"), f, 4080, 360, 1095, 375);
    Combo1[2] = MakeList(f, 2, 4080, 600, 1095, 300);
    Command2[0] = MakeButton<NudgeButton>("∧", f, 5160, 360, 495, 375);
    Command2[1] = MakeButton<NudgeButton>("∨", f, 5160, 720, 495, 375);
    Command3 = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "读出"), f, 6000, 240, 1455, 375);
    Command1 = MakeButton<QPushButton>(QT_TRANSLATE_NOOP("Tx", "保存"), f, 5760, 1200, 1695, 855);
    Label2 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "视频制式"), f, 360, 1440, 1215, 255);
    Combo1[3] = MakeList(f, 3, 360, 1680, 1095, 300);
    Label3 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "圆度调整"), f, 2280, 1440, 1215, 255);
    Combo1[4] = MakeList(f, 4, 2280, 1680, 1095, 300);
    Label6 = MakeLabel(QT_TRANSLATE_NOOP("Tx", "最大圆外十字线"), f, 4080, 1440, 1575, 255);
    Combo1[5] = MakeList(f, 5, 4080, 1680, 1455, 300);

    // Where another language shortens a caption to fit, the tooltip says it whole.
    Explain(Label5, QT_TRANSLATE_NOOP("Tx", "选择串口：叠加器所接的串口"));
    Explain(Command5[0], QT_TRANSLATE_NOOP("Tx", "叠加开关：打开或关闭整个叠加画面"));
    Explain(Command5[1], QT_TRANSLATE_NOOP("Tx", "十字线开关：打开或关闭十字线"));
    Explain(Label1[0], QT_TRANSLATE_NOOP("Tx", "水平偏移：0 到 63"));
    Explain(Label1[1], QT_TRANSLATE_NOOP("Tx", "垂直偏移：0 到 63"));
    Explain(Label4, QT_TRANSLATE_NOOP("Tx", "圆大小调整：0 到 51"));
    Explain(Label2, QT_TRANSLATE_NOOP("Tx", "视频制式：PAL 或 NTSC"));
    Explain(Label3, QT_TRANSLATE_NOOP("Tx", "圆度调整：0 到 3"));
    Explain(Label6, QT_TRANSLATE_NOOP("Tx", "最大圆外十字线：保留或去除最大的圆外面的十字线"));

    const std::array<QWidget *, 19> tabOrder{Combo1[0],   Combo1[1],   Combo1[3],   Combo1[4],   Command2[0],
                                             Command2[1], Command3,    Combo1[2],   Text1,       Command1,
                                             Combo2,      Command4,    Combo1[5],   Command6[0], Command6[1],
                                             Command8[1], Command8[0], Command5[0], Command5[1]};
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    Combo1[0]->setFocus();
}

void Form1::WireEvents()
{
    for (qint16 k = 0; k < 6; ++k) {
        DropList *list = Combo1[static_cast<std::size_t>(k)];
        connect(list, &DropList::Click, this, [this, k] { Combo1Click(k); });
        connect(list, &DropList::TypedTextPutBack, this,
                [this, k](const QString &typed) { TellTypedValue(k, typed); });
    }
    connect(Combo2, &DropList::Click, this, &Form1::Combo2Click);
    connect(Combo2, &DropList::AboutToOpen, this, &Form1::FollowPlug);
    connect(Command1, &QPushButton::clicked, this, [this] { RunAction([&] { actions_.SaveClick(); }); });
    connect(Command3, &QPushButton::clicked, this, [this] { RunAction([&] { actions_.ReadClick(); }); });
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4Click);
    for (qint16 i = 0; i < 2; ++i) {
        const auto u = static_cast<std::size_t>(i);
        connect(Command5[u], &QPushButton::clicked, this,
                [this, i] { RunAction([&] { actions_.ToggleClick(i); }); });
        const std::array<std::pair<NudgeButton *, NudgePair>, 3> nudges{{{Command6[u], NudgePair::Command6},
                                                                         {Command8[u], NudgePair::Command8},
                                                                         {Command2[u], NudgePair::Command2}}};
        for (const auto &[button, pair] : nudges) {
            connect(button, &NudgeButton::MouseDown, this,
                    [this, pair = pair, i] { RunAction([&] { actions_.NudgePress(pair, i); }); });
            connect(button, &NudgeButton::MouseUp, this, [this] { actions_.NudgeRelease(); });
        }
    }
}

void Form1::RunAction(const std::function<void()> &action)
{
    bool told = false;
    for (DropList *list : Combo1)
        told = list->PutBackTypedText() || told;
    action();
    if (told)
        ShowNotice();  // again, once the action's own box has gone
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
    DropList *field = Combo1[static_cast<std::size_t>(list)];
    const QString last = field->itemText(field->count() - 1);
    const QString range = field->itemText(0) == QLatin1String("0") ? QStringLiteral("0–") + last
                                                                   : field->itemText(0) + Tx::tr("、") + last;
    notice_ = Tx::tr("%1 不是%2的取值（%3），已改回 %4。")
                  .arg(typed.left(20), ParamCaption(list), range, field->Text());
    // Said beside the list, without a box: the action goes on with the value shown.
    noticeField_ = field;
    ShowNotice();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // A hold cannot outlive the window: its release will never come.
    actions_.NudgeStop = true;
    QWidget::closeEvent(event);
}

int Form1::ListIndex(int list) const
{
    return Combo1[static_cast<std::size_t>(list)]->ListIndex();
}

void Form1::SelectListIndex(int list, int position)
{
    Combo1[static_cast<std::size_t>(list)]->SetListIndex(position);
}

QString Form1::DisplayText() const
{
    return Text1->text();
}

void Form1::SetDisplayText(const QString &text)
{
    Text1->setText(text);
}

void Form1::Combo1Click(qint16 index)
{
    // Choosing a video standard presets the offsets, the circle size and the roundness.
    if (index != 3 || presetHeld_)
        return;
    const int standard = ListIndex(3);
    if (standard != 0 && standard != 1)
        return;
    const Preset &p = standard == 0 ? kPal : kNtsc;
    SelectListIndex(0, p.horizontal);
    SelectListIndex(1, p.vertical);
    SelectListIndex(2, p.circle);
    SelectListIndex(4, p.roundness);
}

bool Form1::Load()
{
    SelectListIndex(0, 13);
    SelectListIndex(1, 20);
    SelectListIndex(2, 0);
    SelectListIndex(3, 0);
    SelectListIndex(4, 3);
    SelectListIndex(5, 0);
    SelectListIndex(3, 0);

    SetUpLine(MSComm1);
    if (MSComm1.PortOpen())
        MSComm1.SetPortOpen(false);

    const QString ports = ScanPorts();
    if (ports.isEmpty()) {
        Combo2->SetText(Tx::tr(kNoPortField));
        // Ports that are there but refused to this user are no reason to buy an adapter.
        // Ports that are there but refused to this user, or held by another program (a second
        // window), are no reason to buy an adapter.
        const QString message = !refused_.isEmpty() ? PermissionStartupMessage(refused_)
                                : !busy_.isEmpty()  ? Tx::tr(kAllBusy).arg(busy_.join(Tx::tr("、")))
                                                    : Tx::tr(kNoPort);
        toolkit_.MsgBox(message, kMsgOkOnly, std::nullopt);
        return false;
    }

    // A missing file, or one that names no port from COM1 to COM20, remembers nothing.
    const std::optional<QString> remembered = ReadPortFile(PortFileToRead(toolkit_.AppPath()));
    if (!remembered) {
        Combo2->SetListIndex(0);
        return true;
    }
    link_.CloseLink();
    try {
        MSComm1.SetCommPort(PortNumberOfName(*remembered));
        MSComm1.SetPortOpen(true);
        Combo2->SetText(*remembered);
        return true;
    } catch (const CommError &) {
        // The remembered port is gone: fall back on the first one found.
    }
    try {
        MSComm1.SetPortOpen(false);
    } catch (const CommError &) {
    }
    // The first port serves this run; Com.TXT keeps the remembered one, so that it is used again
    // once its adapter is back.
    rememberChoice_ = false;
    Combo2->SetListIndex(0);
    rememberChoice_ = true;
    Combo2->SetText(Tx::tr(kRememberedGone));
    return true;
}

bool Form1::TryPort(MSComm &comm, int n)
{
    try {
        if (comm.PortOpen())
            comm.SetPortOpen(false);
        comm.SetCommPort(n);
        comm.SetPortOpen(true);
        Combo2->addItem(PortNameOfNumber(n));
        return true;
    } catch (const CommError &e) {
        if (e.number() == ErrorNo::PermissionDenied) {
            if (const std::optional<Refusal> refusal = PermissionRefusal(comm.DevicePath()))
                refused_ << *refusal;
        } else if (e.number() == ErrorNo::PortInUse) {
            busy_ << PortNameOfNumber(n);
        }
        try {
            comm.SetPortOpen(false);
        } catch (const CommError &) {
        }
        return false;
    }
}

QString Form1::ScanPorts()
{
    QString ports;
    Combo2->clear();
    refused_.clear();
    busy_.clear();
    presence_ = PortPresence();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (TryPort(MSComm1, n))
            ports += QString::number(n) + QLatin1Char(',');
        toolkit_.DoEvents();
    }
    ports.chop(1);
    DescribeEntries();
    return ports;
}

void Form1::DescribeEntries()
{
    QStringList paths;
    for (int i = 0; i < Combo2->count(); ++i)
        paths << DevicePathForPort(PortNumberOfName(Combo2->itemText(i)));
    const QList<PortIdentity> identities = IdentifyPorts(paths);
    int widest = Combo2->width();
    const QFontMetrics metrics(Combo2->view()->font());
    for (int i = 0; i < Combo2->count(); ++i) {
        const QString description = identities[i].Text();
        Combo2->setItemData(i, description, Qt::ToolTipRole);
        Combo2->setItemData(i, description, Qt::AccessibleDescriptionRole);
        widest = std::max(
            widest,
            metrics.horizontalAdvance(PortEntryDelegate::Line(Combo2->itemText(i), description)) + 24);
    }
    // The open list may reach past the field so that every description shows whole.
    Combo2->view()->setMinimumWidth(widest);
}

void Form1::FollowPlug()
{
    const QStringList presence = PortPresence();
    if (presence == presence_)
        return;
    // Scan on a control of its own: the port in use keeps its number, and stays open if it was.
    const QString shown = Combo2->Text();
    const int inUse = MSComm1.PortOpen() ? MSComm1.CommPort() : 0;
    Combo2->clear();
    refused_.clear();
    presence_ = presence;
    MSComm probe;
    probe.SetSettings(MSComm1.Settings());
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (presence_[n - 1].isEmpty())
            continue;  // nothing there to open
        if (n == inUse)
            Combo2->addItem(PortNameOfNumber(n));
        else
            TryPort(probe, n);
    }
    probe.SetPortOpen(false);
    DescribeEntries();
    // A chosen port that has gone stays shown: the next action reports it.
    Combo2->SetText(shown);
}

void Form1::Combo2Click()
{
    // No error is number 0, which shows nothing.
    CommError error(0, QString());
    try {
        link_.CloseLink();
        const QString text = Combo2->Text();
        if (!text.isEmpty()) {
            MSComm1.SetCommPort(PortNumberOfName(text));
        } else {
            if (Combo2->count() == 0)
                throw CommError(ErrorNo::InvalidValue, QStringLiteral("the port list is empty"));
            Combo2->SetListIndex(0);
        }
        if (rememberChoice_)
            WritePortFile(PortFileToWrite(toolkit_.AppPath()), Combo2->Text());
    } catch (const CommError &e) {
        error = e;
    }
    ReportCommError(toolkit_, error);
}

void Form1::Command4Click()
{
    // The help text has a twin in each language the window speaks.
    const QString help = HelpFilePath(toolkit_.AppPath(), Tx::tr("help.txt"));
#ifdef Q_OS_WIN
    const QStringList viewers{QStringLiteral("notepad")};
#else
    // The desktop's own handler for text first, then the editors desktops commonly ship.
    const QStringList viewers{QStringLiteral("xdg-open"),   QStringLiteral("gnome-text-editor"),
                              QStringLiteral("gedit"),      QStringLiteral("mousepad"),
                              QStringLiteral("kwrite"),     QStringLiteral("kate"),
                              QStringLiteral("pluma"),      QStringLiteral("xed"),
                              QStringLiteral("featherpad"), QStringLiteral("leafpad")};
#endif
    // The tool's own viewer when the system's shows nothing; a box saying where the file is
    // when the file cannot be read either.
    auto showOwn = [this, help] {
        if (!toolkit_.ShowTextFile(Tx::tr("使用帮助"), help))
            toolkit_.MsgBox(Tx::tr("找不到可以打开帮助文件的程序，请用文本编辑器打开：") + QLatin1Char('\n') +
                                help,
                            kMsgOkOnly, QString());
    };
    for (const QString &viewer : viewers) {
        const QString program = QStandardPaths::findExecutable(viewer);
        if (program.isEmpty())
            continue;
        if (viewer == QLatin1String("xdg-open")) {
            // xdg-open with no handler for text ends in failure, long after this returns.
            QPointer<Form1> self(this);
            if (toolkit_.StartOpener(program, {help}, [self, showOwn] {
                    if (self)
                        showOwn();
                }))
                return;
        } else if (toolkit_.StartProgram(program, {help})) {
            return;
        }
    }
    showOwn();
}

}  // namespace kv306
