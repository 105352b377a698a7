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
    std::thread([call = std::move(call), result]() mutable { result->set_value(call()); }).detach();
    if (answer.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready)
        return std::nullopt;
    return answer.get();
}

// Why a host's name was not looked up in time.
inline QString NameTimedOut(int ms)
{
    return QStringLiteral("no answer for the name within %1 ms").arg(ms);
}

}  // namespace kv306
