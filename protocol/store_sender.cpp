#include "protocol/store_sender.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

namespace kv306 {

StoreSender::StoreSender(const QString &url, const QString &reportFile)
    : store_(url), reportFile_(QFileInfo(reportFile).fileName())
{
}

void StoreSender::Start()
{
    thread_ = std::thread([this] { Run(); });
}

StoreSender::~StoreSender()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void StoreSender::Add(const QByteArray &line, const ReportColumns &columns)
{
    CsvReader reader;
    std::vector<CsvReader::Record> records;
    reader.Feed(line, &records);
    if (records.empty())
        return;
    const Checked<LineStore::Row> row = StoreRowOf(records.front(), columns, reportFile_);
    if (!row)
        return;  // the report holds it; `upload` names what it cannot read
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(*row);
        ++status_.waiting;
    }
    wake_.notify_all();
}

StoreSender::Status StoreSender::Now() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

int StoreSender::Finish(int ms)
{
    QElapsedTimer clock;
    clock.start();
    int before = 0;
    {
        std::lock_guard lock(mutex_);
        hurry_ = true;
        before = attempts_;
    }
    wake_.notify_all();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            // Done when the rows are in, or when one more try failed: the last word is said.
            if (waiting_.empty() || clock.elapsed() >= ms ||
                (attempts_ > before && !status_.problem.isEmpty())) {
                stop_ = true;
                break;
            }
        }
        QThread::msleep(20);
    }
    wake_.notify_all();
    std::lock_guard lock(mutex_);
    return static_cast<int>(waiting_.size());
}

void StoreSender::Run()
{
    int pause = 0;
    // Whether the database is there is said at the start, before any row waits for it.
    if (const Done connected = store_.Connect(); !connected) {
        Status now;
        {
            std::lock_guard lock(mutex_);
            status_.problem = connected.reason;
            now = status_;
        }
        pause = 1000;
        if (Changed)
            Changed(now);
    }
    for (;;) {
        std::vector<LineStore::Row> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(pause > 0 && !hurry_ ? pause : 0x7fffffff),
                           [this, pause] { return stop_ || (!waiting_.empty() && (pause == 0 || hurry_)); });
            if (stop_)
                return;
            if (waiting_.empty())
                continue;
            hurry_ = false;
            for (std::size_t i = 0; i < waiting_.size() && i < 100; ++i)
                batch.push_back(waiting_[i]);
        }
        const Checked<int> sent = store_.Send(batch);
        Status now;
        bool said = false;
        {
            std::lock_guard lock(mutex_);
            ++attempts_;
            if (sent) {
                waiting_.erase(waiting_.begin(),
                               waiting_.begin() + static_cast<std::ptrdiff_t>(batch.size()));
                status_.sent += static_cast<int>(batch.size());
                said = !status_.problem.isEmpty();
                status_.problem.clear();
                pause = 0;
            } else {
                status_.problem = sent.reason;
                said = true;
                pause = pause == 0 ? 1000 : std::min(pause * 2, kLongestPauseMs);
            }
            status_.waiting = static_cast<int>(waiting_.size());
            now = status_;
        }
        if (said && Changed)
            Changed(now);
    }
}

}  // namespace kv306
