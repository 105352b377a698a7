#include "panel/production_dialog.h"

#include "link/comm_error.h"
#include "link/port_map.h"
#include "link/texts.h"
#include "panel/program_files.h"
#include "panel/toolkit.h"
#include "protocol/outcome_text.h"
#include "protocol/store_sender.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPointer>
#include <QSettings>

namespace kv306 {

namespace {

constexpr int kShownRows = 10;

}  // namespace

ProductionDialog::ProductionDialog(Toolkit &toolkit, const PortRef &port, const Params &profile,
                                   ParamNamer caption, QWidget *parent)
    : QDialog(parent), toolkit_(toolkit), port_(port), profile_(profile), caption_(std::move(caption))
{
    setObjectName(QStringLiteral("ProductionDialog"));
    setWindowTitle(Tx::tr("生产模式 — %1").arg(port.Label()));
    auto *grid = new QGridLayout(this);
    QStringList values;
    for (int k = 0; k < kParamCount; ++k)
        values << Tx::tr("%1 %2").arg(caption_(k), ParamShown(k, profile[static_cast<std::size_t>(k)]));
    auto *profileLabel = new QLabel(Tx::tr("每台设备写入：%1").arg(values.join(Tx::tr("，"))), this);
    profileLabel->setWordWrap(true);
    grid->addWidget(profileLabel, 0, 0, 1, 3);
    grid->addWidget(new QLabel(Tx::tr("报告文件："), this), 1, 0);
    reportField_ = new QLineEdit(this);
    reportField_->setObjectName(QStringLiteral("reportField"));
    reportField_->setPlaceholderText(Tx::tr("请选择或输入报告文件（已有的报告会接着写入）"));
    grid->addWidget(reportField_, 1, 1);
    chooseButton_ = new QPushButton(Tx::tr("选择(&C)…"), this);
    chooseButton_->setObjectName(QStringLiteral("chooseButton"));
    connect(chooseButton_, &QPushButton::clicked, this, &ProductionDialog::ChooseReport);
    grid->addWidget(chooseButton_, 1, 2);

    // The line's database, for a line that keeps one record of every station's rows.
    storeField_ = new QLineEdit(this);
    storeField_->setObjectName(QStringLiteral("storeField"));
    storeField_->setPlaceholderText(
        Tx::tr("可不填：全线的 PostgreSQL 数据库，如 postgresql://station@db/line 或 service=line7"));
    auto *storeLabel = new QLabel(Tx::tr("数据库："), this);
    storeLabel->setBuddy(storeField_);
    grid->addWidget(storeLabel, 2, 0);
    grid->addWidget(storeField_, 2, 1, 1, 2);

    // Who runs the line and which lot it sets up go into every row; both are remembered.
    auto *who = new QHBoxLayout;
    operatorField_ = new QLineEdit(this);
    operatorField_->setObjectName(QStringLiteral("operatorField"));
    lotField_ = new QLineEdit(this);
    lotField_->setObjectName(QStringLiteral("lotField"));
    for (QLineEdit *field : {operatorField_, lotField_})
        field->setMaxLength(Station::kSerialMax);
    auto *operatorLabel = new QLabel(Tx::tr("操作员："), this);
    operatorLabel->setBuddy(operatorField_);
    auto *lotLabel = new QLabel(Tx::tr("批号："), this);
    lotLabel->setBuddy(lotField_);
    who->addWidget(operatorLabel);
    who->addWidget(operatorField_);
    who->addWidget(lotLabel);
    who->addWidget(lotField_);
    grid->addLayout(who, 3, 0, 1, 3);
    // A scanner types the serial number into the field that has the focus and ends with Enter.
    scanBox_ = new QCheckBox(Tx::tr("每台设备先扫描序列号"), this);
    scanBox_->setObjectName(QStringLiteral("scanBox"));
    serialField_ = new QLineEdit(this);
    serialField_->setObjectName(QStringLiteral("serialField"));
    serialField_->setPlaceholderText(Tx::tr("序列号"));
    serialField_->setAccessibleName(Tx::tr("序列号"));
    serialField_->setEnabled(false);
    connect(scanBox_, &QCheckBox::toggled, this, [this](bool on) {
        serialField_->setEnabled(on);
        UserSettings().setValue(QStringLiteral("scanSerials"), on);
        if (on)
            serialField_->setFocus();
    });
    connect(serialField_, &QLineEdit::returnPressed, this, &ProductionDialog::Scan);
    grid->addWidget(scanBox_, 4, 0);
    grid->addWidget(serialField_, 4, 1, 1, 2);

    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("verdict"));
    verdict_->setAlignment(Qt::AlignCenter);
    verdict_->setMinimumHeight(110);
    QFont big = verdict_->font();
    big.setPointSize(40);
    big.setBold(true);
    verdict_->setFont(big);
    grid->addWidget(verdict_, 5, 0, 1, 3);
    reason_ = new QLabel(this);
    reason_->setObjectName(QStringLiteral("reason"));
    reason_->setAlignment(Qt::AlignCenter);
    reason_->setWordWrap(true);
    grid->addWidget(reason_, 6, 0, 1, 3);
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("state"));
    state_->setAlignment(Qt::AlignCenter);
    state_->setWordWrap(true);
    grid->addWidget(state_, 7, 0, 1, 3);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("count"));
    grid->addWidget(count_, 8, 0, 1, 2);
    startButton_ = new QPushButton(Tx::tr("开始(&S)"), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    connect(startButton_, &QPushButton::clicked, this, [this] { Running() ? Stop() : Start(); });
    grid->addWidget(startButton_, 8, 2);
    figures_ = new QLabel(this);
    figures_->setObjectName(QStringLiteral("figures"));
    figures_->setWordWrap(true);
    grid->addWidget(figures_, 9, 0, 1, 3);
    lineFigures_ = new QLabel(this);
    lineFigures_->setObjectName(QStringLiteral("lineFigures"));
    lineFigures_->setWordWrap(true);
    lineFigures_->hide();
    grid->addWidget(lineFigures_, 10, 0, 1, 3);
    storeState_ = new QLabel(this);
    storeState_->setObjectName(QStringLiteral("storeState"));
    storeState_->setWordWrap(true);
    storeState_->hide();
    grid->addWidget(storeState_, 11, 0, 1, 3);

    rows_ = new QTableWidget(0, 4, this);
    rows_->setObjectName(QStringLiteral("rows"));
    rows_->setHorizontalHeaderLabels({Tx::tr("时间"), Tx::tr("编号"), Tx::tr("结果"), Tx::tr("用时")});
    rows_->verticalHeader()->hide();
    rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows_->horizontalHeader()->setStretchLastSection(false);
    rows_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    rows_->setMinimumHeight(rows_->horizontalHeader()->sizeHint().height() + kShownRows * 24);
    grid->addWidget(rows_, 12, 0, 1, 3);
    // Enter belongs to the serial number field (a scanner ends each scan with it): it presses
    // no button of the dialog, whichever had the focus before.
    for (QPushButton *button : {chooseButton_, startButton_})
        button->setAutoDefault(false);
    resize(600, 680);

    QSettings settings = UserSettings();
    const QString last = settings.value(QStringLiteral("reportFile")).toString();
    if (!last.isEmpty())
        reportField_->setText(QDir::toNativeSeparators(last));
    operatorField_->setText(settings.value(QStringLiteral("operator")).toString());
    lotField_->setText(settings.value(QStringLiteral("lot")).toString());
    storeField_->setText(settings.value(QStringLiteral("storeUrl")).toString());
    storeTimer_.setInterval(500);
    connect(&storeTimer_, &QTimer::timeout, this, &ProductionDialog::ShowStore);
    scanBox_->setChecked(settings.value(QStringLiteral("scanSerials"), false).toBool());
    Paint(Tx::tr("未开始"), QStringLiteral("#9e9e9e"));
    count_->setText(Tx::tr("已检 0 台"));
}

ProductionDialog::~ProductionDialog()
{
    Stop();
    if (worker_)
        worker_->wait();
    // The line's figures asked for are let finish a moment (a database that answers at all
    // answers within it); one that takes longer is left to end on its own.
    if (fetch_)
        fetch_->wait(QDeadlineTimer(2000));
}

void ProductionDialog::ChooseReport()
{
    const QString suggested = reportField_->text().isEmpty()
                                  ? QDir::homePath() + QStringLiteral("/kv306-report.csv")
                                  : QDir::fromNativeSeparators(reportField_->text());
    const QString chosen = toolkit_.AskSaveFile(Tx::tr("报告文件"), suggested, Tx::tr("CSV 文件 (*.csv)"));
    if (!chosen.isEmpty())
        SetReport(chosen);
}

bool ProductionDialog::SetReport(const QString &path)
{
    const SaveTarget target = ChooseSaveTarget(path, QStringLiteral("csv"));
    if (target.path.isEmpty()) {
        toolkit_.MsgBox(Tx::tr("不能写入 %1：%2").arg(QDir::toNativeSeparators(path), target.refusal),
                        kMsgExclamation, Tx::tr("报告文件"));
        return false;
    }
    reportField_->setText(QDir::toNativeSeparators(target.path));
    return true;
}

void ProductionDialog::Start()
{
    if (Running())
        return;
    // Who and which lot are checked before a report is asked for.
    const QString operatorName = operatorField_->text().trimmed();
    const QString lot = lotField_->text().trimmed();
    for (const QString &text : {operatorName, lot}) {
        if (const QString why = Station::TextRefusal(text); !why.isEmpty()) {
            reason_->setText(Tx::tr("操作员或批号：%1").arg(why));
            toolkit_.MsgBox(Tx::tr("操作员或批号：%1").arg(why), kMsgExclamation, Tx::tr("错误"));
            return;
        }
    }
    // A database's URL is checked before the report is asked for too: one that holds a password
    // is refused, as the password belongs in the user's pgpass or service file.
    const QString storeUrl = storeField_->text().trimmed();
    if (!storeUrl.isEmpty()) {
        if (const Checked<QString> url = LineStore::CheckUrl(storeUrl); !url) {
            reason_->setText(Tx::tr("数据库：%1").arg(url.reason));
            toolkit_.MsgBox(Tx::tr("数据库不能用：\n%1").arg(url.reason), kMsgExclamation, Tx::tr("错误"));
            return;
        }
    }
    // A path typed into the field is the report, as one chosen is (a name alone goes in the home
    // folder, where the file dialog starts); an empty field asks for one.
    const QString typed = QDir::fromNativeSeparators(reportField_->text().trimmed());
    if (typed.isEmpty())
        ChooseReport();
    else if (!SetReport(QDir::home().absoluteFilePath(typed)))
        return;
    const QString path = QDir::fromNativeSeparators(reportField_->text());
    if (path.isEmpty())
        return;
    const bool scan = scanBox_->isChecked();
    report_ = std::make_unique<StationReport>();
    if (const Done opened = report_->Open(path, QString(), scan || !operatorName.isEmpty() || !lot.isEmpty());
        !opened) {
        const QString &error = opened.reason;
        Paint(Tx::tr("未开始"), QStringLiteral("#9e9e9e"));
        reason_->setText(Tx::tr("报告文件不能写入：%1").arg(error));
        toolkit_.MsgBox(Tx::tr("报告文件不能写入：\n%1").arg(error), kMsgCritical, Tx::tr("错误"));
        report_.reset();
        return;
    }
    QSettings settings = UserSettings();
    settings.setValue(QStringLiteral("reportFile"), path);
    settings.setValue(QStringLiteral("operator"), operatorName);
    settings.setValue(QStringLiteral("lot"), lot);
    settings.setValue(QStringLiteral("storeUrl"), storeUrl);
    Station::Options options;
    options.profile = profile_;
    options.profileName = QStringLiteral("(window)");  // the window's six values
    options.scan = scan;
    options.slotNames = {port_.Label()};
    options.operatorName = operatorName;
    options.lot = lot;
    station_ = std::make_unique<Station>(options, report_.get());
    // Each row is in the report before it goes on to the database, on the sender's own thread.
    if (storeUrl != storeUrl_)
        lineStore_.reset();
    storeUrl_ = storeUrl;
    if (!storeUrl.isEmpty()) {
        sender_ = std::make_unique<StoreSender>(storeUrl, path);
        sender_->Start();
    }
    station_->UnitDone = [this, store = sender_.get(), report = report_.get()](const StationRow &row) {
        if (store && row.reportError.isEmpty())
            store->Add(row.written, report->Columns());
        QMetaObject::invokeMethod(
            this, [this, row] { Show(row); }, Qt::QueuedConnection);
    };
    station_->SlotChanged = [this](int, const PortRef &, Station::SlotState state, const QString &why) {
        QMetaObject::invokeMethod(
            this, [this, state, why] { ShowState(state, why); }, Qt::QueuedConnection);
    };
    const PortRef slot = port_;
    // Rows still on their way when the station ends are given one more bounded try.
    worker_ = QThread::create([station = station_.get(), store = sender_.get(), slot] {
        station->Run({slot});
        if (store)
            store->Finish(LineStore::kConnectSeconds * 1000 + 1000);
    });
    connect(worker_, &QThread::finished, this, &ProductionDialog::Finished, Qt::QueuedConnection);
    chooseButton_->setEnabled(false);
    for (QWidget *w : {static_cast<QWidget *>(reportField_), static_cast<QWidget *>(operatorField_),
                       static_cast<QWidget *>(lotField_), static_cast<QWidget *>(scanBox_),
                       static_cast<QWidget *>(storeField_)})
        w->setEnabled(false);
    startButton_->setText(Tx::tr("停止(&S)"));
    ShowFigures();
    const kv306::Figures before = report_->Total();
    since_ = before.first.isValid() ? before.first : QDateTime::currentDateTime();
    storeState_->setVisible(sender_ != nullptr);
    lineFigures_->setVisible(sender_ != nullptr);
    if (sender_) {
        shownSent_ = 0;
        storeLooks_ = 0;
        storeState_->setText(Tx::tr("数据库：正在连接 %1").arg(storeUrl));
        lineFigures_->setText(Tx::tr("全线：正在读取…"));
        storeTimer_.start();
        FetchLineFigures();
    }
    Paint(Tx::tr("等待设备…"), QStringLiteral("#9e9e9e"));
    reason_->clear();
    state_->clear();
    emit RunningChanged(true);
    worker_->start();
    if (scan) {
        serialField_->setEnabled(true);
        serialField_->setFocus();
    }
}

void ProductionDialog::Scan()
{
    const QString serial = serialField_->text();
    // The first scan starts the station, as the button does; without a report chosen it asks
    // for one first, as a scanner's keys would land in the file dialog.
    if (!station_ && !serial.trimmed().isEmpty()) {
        if (reportField_->text().isEmpty()) {
            state_->setText(Tx::tr("请先选择报告文件，再扫描"));
            serialField_->clear();
            return;
        }
        Start();
    }
    if (!station_)
        return;
    const QString refused = station_->Scanned(serial);
    serialField_->clear();
    state_->setText(refused.isEmpty() ? Tx::tr("已扫描 %1").arg(serial.trimmed())
                                      : Tx::tr("序列号不能用：%1，请重新扫描").arg(refused));
}

void ProductionDialog::ShowFigures()
{
    if (report_)
        figures_->setText(FiguresWords(report_->Total()));
}

void ProductionDialog::Stop()
{
    if (station_)
        station_->Stop();
    if (Running()) {
        startButton_->setEnabled(false);
        startButton_->setText(Tx::tr("正在停止…"));
    }
}

void ProductionDialog::Finished()
{
    if (!worker_)
        return;
    worker_->wait();
    delete worker_;
    worker_ = nullptr;
    const QString reportError = station_->ReportError();
    if (!reportError.isEmpty()) {
        Paint(Tx::tr("已停止"), QStringLiteral("#c62828"));
        reason_->setText(Tx::tr("报告文件不能写入，生产模式已停止：%1").arg(reportError));
    } else if (verdict_->text() == Tx::tr("等待设备…") || verdict_->text() == Tx::tr("正在设置…")) {
        Paint(Tx::tr("已停止"), QStringLiteral("#9e9e9e"));
    }
    if (!station_->NotSetUp().isEmpty())
        state_->setText(Tx::tr("串口 %1 上的设备没有扫描序列号，没有设置").arg(port_.Label()));
    if (sender_) {
        storeTimer_.stop();
        ShowStore();
        const StoreSender::Status last = sender_->Now();
        // The rows that did not reach the database are in the report; upload sends them later.
        if (last.waiting > 0)
            storeState_->setText(
                Tx::tr(
                    "数据库还有 %n 行没有写入（它们在报告中）：%1。数据库能用时，用 kv306ctl upload \"%2\" "
                    "--store URL 发送",
                    nullptr, last.waiting)
                    .arg(last.problem, reportField_->text()));
        sender_.reset();
        FetchLineFigures();
    }
    station_.reset();
    report_.reset();
    chooseButton_->setEnabled(true);
    for (QWidget *w : {static_cast<QWidget *>(reportField_), static_cast<QWidget *>(operatorField_),
                       static_cast<QWidget *>(lotField_), static_cast<QWidget *>(scanBox_),
                       static_cast<QWidget *>(storeField_)})
        w->setEnabled(true);
    serialField_->setEnabled(scanBox_->isChecked());
    startButton_->setEnabled(true);
    startButton_->setText(Tx::tr("开始(&S)"));
    emit RunningChanged(false);
}

void ProductionDialog::ShowStore()
{
    if (!sender_)
        return;
    const StoreSender::Status now = sender_->Now();
    if (!now.problem.isEmpty())
        storeState_->setText(Tx::tr("数据库不能写入，%n 行在报告中等待，会自动重试：%1", nullptr, now.waiting)
                                 .arg(now.problem));
    else if (now.waiting > 0)
        storeState_->setText(Tx::tr("数据库：正在写入，%n 行等待", nullptr, now.waiting));
    else
        storeState_->setText(Tx::tr("数据库：已写入 %n 行", nullptr, now.sent));
    storeState_->setStyleSheet(now.problem.isEmpty() ? QString()
                                                     : QStringLiteral("QLabel { color: #c62828; }"));
    // The line's figures follow this station's rows, and the other stations' every 15 s.
    if (now.sent != shownSent_ || ++storeLooks_ % 30 == 0) {
        shownSent_ = now.sent;
        FetchLineFigures();
    }
}

void ProductionDialog::FetchLineFigures()
{
    if (storeUrl_.isEmpty())
        return;
    if (fetching_) {
        fetchAgain_ = true;
        return;
    }
    fetching_ = true;
    LineStore::Filter filter;
    filter.since = since_;
    // The thread outlives a dialog closed meanwhile: its answer is then dropped.
    QPointer<ProductionDialog> self(this);
    // One connection for the readings of a run, kept between them (one reading at a time).
    if (!lineStore_)
        lineStore_ = std::make_shared<LineStore>(storeUrl_);
    QThread *fetch = QThread::create([self, store = lineStore_, filter] {
        const Checked<LineStore::LineFigures> figures = store->FiguresOf(filter);
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [self, figures] {
                    if (self)
                        self->ShowLineFigures(figures);
                },
                Qt::QueuedConnection);
    });
    connect(fetch, &QThread::finished, fetch, &QObject::deleteLater);
    fetch_ = fetch;
    fetch->start();
}

void ProductionDialog::ShowLineFigures(const Checked<LineStore::LineFigures> &figures)
{
    fetching_ = false;
    if (figures)
        lineFigures_->setText(FiguresWords(figures->all, FiguresScope::Line));
    else
        lineFigures_->setText(Tx::tr("全线：读不到数据库（%1）").arg(figures.reason));
    if (fetchAgain_) {
        fetchAgain_ = false;
        FetchLineFigures();
    }
}

QString ProductionDialog::ReasonWords(const StationRow &row) const
{
    return RowReasonWords(row, caption_);
}

void ProductionDialog::Show(const StationRow &row)
{
    // The verdict names the unit by its serial number where one was scanned.
    const QString named = row.serial.isEmpty() ? QString() : row.serial + QLatin1Char(' ');
    if (row.Passed())
        Paint(named + Tx::tr("合格"), QStringLiteral("#2e7d32"));
    else
        Paint(named + Tx::tr("不合格"), QStringLiteral("#c62828"));
    QString reason = row.Passed() ? Tx::tr("第 %1 台合格，请取下设备").arg(row.unit) : ReasonWords(row);
    if (row.again)
        reason += Tx::tr("（这个序列号之前设置过：第 %1 台）").arg(row.again);
    reason_->setText(reason);
    ShowFigures();
    count_->setText(Tx::tr("已检 %n 台：合格 %1，不合格 %2", nullptr, station_ ? station_->Units() : 0)
                        .arg(station_ ? station_->Passed() : 0)
                        .arg(station_ ? station_->Units() - station_->Passed() : 0));
    rows_->insertRow(0);
    // A scanned unit is shown by its number and its serial number.
    const QString unit = row.serial.isEmpty() ? QString::number(row.unit)
                                              : QStringLiteral("%1  %2").arg(row.unit).arg(row.serial);
    const QStringList cells{row.at.toString(QStringLiteral("HH:mm:ss")), unit,
                            row.Passed() ? Tx::tr("合格") : Tx::tr("不合格：%1").arg(ReasonWords(row)),
                            Tx::tr("%1 秒").arg(row.seconds, 0, 'f', 1)};
    for (int c = 0; c < cells.size(); ++c)
        rows_->setItem(0, c, new QTableWidgetItem(cells[c]));
    while (rows_->rowCount() > kShownRows)
        rows_->removeRow(rows_->rowCount() - 1);
    rows_->resizeColumnToContents(0);
    rows_->resizeColumnToContents(1);
}

void ProductionDialog::ShowState(Station::SlotState state, const QString &why)
{
    // The last unit's verdict and its reason stay in view until the next unit answers; what the
    // port does meanwhile is said below them.
    const bool verdictShown = rows_->rowCount() > 0;
    const QString port = port_.Label();
    switch (state) {
    case Station::SlotState::NoPort:
        if (!verdictShown)
            Paint(Tx::tr("等待设备…"), QStringLiteral("#9e9e9e"));
        state_->setText(Tx::tr("串口 %1 还不能用（%2）").arg(port, why));
        break;
    case Station::SlotState::Busy:
        if (!verdictShown)
            Paint(Tx::tr("等待设备…"), QStringLiteral("#9e9e9e"));
        state_->setText(why.isEmpty()
                            ? Tx::tr("串口 %1 被占用，在它空出来之前不设置任何设备").arg(port)
                            : Tx::tr("串口 %1 被占用（%2），在它空出来之前不设置任何设备").arg(port, why));
        break;
    case Station::SlotState::Waiting:
    case Station::SlotState::Gone:
        if (!verdictShown)
            Paint(Tx::tr("等待设备…"), QStringLiteral("#9e9e9e"));
        state_->setText(Tx::tr("请接上下一台设备"));
        break;
    case Station::SlotState::Scan:
        if (!verdictShown)
            Paint(Tx::tr("等待设备…"), QStringLiteral("#9e9e9e"));
        state_->setText(Tx::tr("请扫描设备的序列号"));
        serialField_->setFocus();
        break;
    case Station::SlotState::SetUp: state_->setText(Tx::tr("设置完毕，请取下设备")); break;
    case Station::SlotState::Present:
        Paint(Tx::tr("正在设置…"), QStringLiteral("#f9a825"));
        reason_->clear();
        state_->clear();
        break;
    case Station::SlotState::Unusable:
        Paint(Tx::tr("已停止"), QStringLiteral("#c62828"));
        reason_->setText(Tx::tr("串口 %1 不是串口设备，生产模式已停止").arg(port));
        state_->clear();
        break;
    case Station::SlotState::Done: break;
    }
}

void ProductionDialog::Paint(const QString &text, const QString &colour)
{
    verdict_->setText(text);
    verdict_->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: %1; border-radius: 6px; }").arg(colour));
}

void ProductionDialog::closeEvent(QCloseEvent *event)
{
    if (Running()) {
        // The exchange in flight finishes; the window closes once the station has ended.
        Stop();
        event->ignore();
        connect(this, &ProductionDialog::RunningChanged, this, [this](bool on) {
            if (!on)
                close();
        });
        return;
    }
    QDialog::closeEvent(event);
}

void ProductionDialog::reject()
{
    if (Running()) {
        Stop();
        return;
    }
    QDialog::reject();
}

}  // namespace kv306
