#pragma once

#include "protocol/line_store.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kv306 {

// A station's rows on their way to the store, after each is safe in the local report: sent in
// order on a thread of their own, so that a unit never waits for the database. While the database
// is away (refused, dropped, restarted, a failed TLS check, a wrong password, a row it rejects)
// the rows wait, and it is tried again with a growing pause, from 1 s to kLongestPauseMs.
class StoreSender {
public:
    static constexpr int kLongestPauseMs = 30000;

    StoreSender(const QString &url, const QString &reportFile);
    ~StoreSender();
    StoreSender(const StoreSender &) = delete;
    StoreSender &operator=(const StoreSender &) = delete;
    // Starts sending, Changed set first.
    void Start();

    // A report line as it was written, read by the report's columns.
    void Add(const QByteArray &line, const ReportColumns &columns);

    struct Status {
        int waiting = 0;
        int sent = 0;     // rows the database took since the start
        QString problem;  // why rows wait; empty while the database takes them
    };
    Status Now() const;
    // Said on the sender's thread when the database goes away or comes back, and at each try
    // while it is away.
    std::function<void(const Status &)> Changed;
    // Sends what still waits, trying until `ms` pass; how many rows still wait then.
    int Finish(int ms);

private:
    void Run();

    LineStore store_;
    QString reportFile_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<LineStore::Row> waiting_;
    Status status_;
    bool stop_ = false;
    bool hurry_ = false;
    int attempts_ = 0;  // sends tried
    std::thread thread_;
};

}  // namespace kv306
