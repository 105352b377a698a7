#pragma once

#include <QString>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>

namespace kv306 {

// What `call` returns if it returns within `ms`; nothing otherwise, and it finishes on a thread
// of its own: a blocking system call (a name server that does not answer) cannot hold the caller.
template <typename Call>
auto WithinMs(Call call, int ms) -> std::optional<decltype(call())>
{
    using Result = decltype(call());
    auto result = std::make_shared<std::promise<Result>>();
    std::future<Result> answer = result->get_future();
    std::thread worker([call = std::move(call), result]() mutable { result->set_value(call()); });
    if (answer.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) {
        worker.detach();
        return std::nullopt;
    }
    // Answered: the thread ends at once, and is joined, so that it has let go of what it held
    // (a TLS library's state of its own) before the caller goes on, and perhaps ends the process.
    worker.join();
    return answer.get();
}

// Why a host's name was not looked up in time.
inline QString NameTimedOut(int ms)
{
    return QStringLiteral("no answer for the name within %1 ms").arg(ms);
}

}  // namespace kv306
