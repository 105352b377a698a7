#include "panel/log_window.h"

#include "link/texts.h"
#include "panel/program_files.h"
#include "panel/toolkit.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kv306 {

TrafficModel::TrafficModel(TrafficLog &log, QObject *parent) : QAbstractTableModel(parent), log_(log) {}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 7;
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    // A text cut short in its column shows whole in the tooltip.
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid())
        return {};
    const LogEntry &e = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0: return e.time;
    case 1: return e.port;
    case 2: return e.sent;
    case 3: return e.sentMeaning;
    case 4: return e.reply;
    case 5: return e.replyMeaning;
    default: return e.ms < 0 ? QVariant() : QVariant(e.ms);
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section > 6)
        return QAbstractTableModel::headerData(section, orientation, role);
    return LogHeaders().value(section);
}

bool TrafficModel::Refresh()
{
    TrafficLog::Tail tail = log_.Since(seen_);
    if (tail.clearings != clearings_ || tail.total - seen_ > tail.entries.size()) {
        // Cleared, or more came than the log keeps: start again from all it holds.
        beginResetModel();
        clearings_ = tail.clearings;
        tail = log_.Since(0);
        rows_.assign(std::make_move_iterator(tail.entries.begin()),
                     std::make_move_iterator(tail.entries.end()));
        seen_ = tail.total;
        endResetModel();
        return true;
    }
    seen_ = tail.total;
    if (tail.entries.empty())
        return false;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(tail.entries.size()) - 1);
    for (LogEntry &e : tail.entries)
        rows_.push_back(std::move(e));
    endInsertRows();
    if (rows_.size() > TrafficLog::kCapacity) {
        const int drop = static_cast<int>(rows_.size() - TrafficLog::kCapacity);
        beginRemoveRows({}, 0, drop - 1);
        rows_.erase(rows_.begin(), rows_.begin() + drop);
        endRemoveRows();
    }
    return true;
}

LogWindow::LogWindow(TrafficLog &log, Toolkit &toolkit, QWidget *parent)
    : QWidget(parent, Qt::Window), log_(log), toolkit_(toolkit), model_(log, this)
{
    setWindowTitle(Tx::tr("通信记录"));
    view_ = new QTableView(this);
    view_->setModel(&model_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->verticalHeader()->setVisible(false);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setWordWrap(false);
    // Every column in view on a 1024 x 768 screen: the time, the port, the frames and the
    // milliseconds get what their longest text needs, the two meanings share the rest.
    const QFontMetrics metrics(view_->font());
    const auto fit = [&metrics](const QString &sample) { return metrics.horizontalAdvance(sample) + 14; };
    const int time = fit(QStringLiteral("2026-12-07 23:59:59.999"));
    const int port = fit(QStringLiteral("COM20"));
    const int sent = fit(QStringLiteral("55 EE 00 00 FF 16 14 19 00 03 00 18"));
    const int reply = fit(QStringLiteral("16 14 19 00 03 00 18"));
    const int ms = fit(LogHeaders().value(6));
    const int meaning = std::max(120, (kDefaultWidth - 72 - time - port - sent - reply - ms) / 2);
    for (const auto &[column, width] : std::array<std::pair<int, int>, 6>{
             {{0, time}, {1, port}, {2, sent}, {3, meaning}, {4, reply}, {5, meaning}}})
        view_->setColumnWidth(column, width);
    auto *clear = new QPushButton(Tx::tr("清除"), this);
    auto *save = new QPushButton(Tx::tr("保存…"), this);
    connect(clear, &QPushButton::clicked, this, [this] { log_.Clear(); });
    connect(save, &QPushButton::clicked, this, &LogWindow::SaveAs);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(save);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    resize(UserSettings().value(QStringLiteral("log/size"), QSize(kDefaultWidth, 480)).toSize());

    // Recording may happen on any thread (a probe's). The table follows on this one once the
    // traffic has been quiet for a moment: an action lets waiting events run in the middle of
    // its exchanges (a held arrow button between steps), and painting rows there would slow it.
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, &LogWindow::Refresh);
    log_.SetOnRecord([this] {
        if (!restartQueued_.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    restartQueued_ = false;
                    settle_.start();
                },
                Qt::QueuedConnection);
    });
    model_.Refresh();
}

LogWindow::~LogWindow()
{
    log_.SetOnRecord({});
    UserSettings().setValue(QStringLiteral("log/size"), size());
}

void LogWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    Refresh();
}

void LogWindow::Refresh()
{
    const bool atEnd = !view_->verticalScrollBar() ||
                       view_->verticalScrollBar()->value() == view_->verticalScrollBar()->maximum();
    if (model_.Refresh() && atEnd && isVisible())
        view_->scrollToBottom();
}

void LogWindow::SaveAs()
{
    const QString chosen = toolkit_.AskSaveFile(Tx::tr("保存通信记录"), Tx::tr("kv306-通信记录.txt"),
                                                Tx::tr("文本文件 (*.txt *.tsv)"));
    if (chosen.isEmpty())
        return;
    const SaveTarget target = ChooseSaveTarget(chosen, QStringLiteral("txt"));
    if (target.suffixAdded && QFileInfo::exists(target.path) &&
        !toolkit_.AskYesNo(Tx::tr("%1 已存在。\n要替换它吗？").arg(QDir::toNativeSeparators(target.path)),
                           Tx::tr("保存通信记录")))
        return;
    if (const Done error = SaveToTarget(target, log_.Tsv()); !error)
        toolkit_.MsgBox(Tx::tr("无法保存 %1：%2").arg(QDir::toNativeSeparators(chosen), error.reason),
                        kMsgCritical, Tx::tr("错误"));
}

}  // namespace kv306
