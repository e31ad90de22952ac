#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace quorvane {

/// Runs `work` on a thread of its own and waits for its value up to `limit`. Nothing when the
/// limit passes first: the thread is left to finish by itself (a read from a hung network
/// mount can sit in the kernel for a long time) and its value is dropped. `work` must own
/// everything it uses.
template <typename Work>
auto callWithin(std::chrono::milliseconds limit, Work work) -> std::optional<decltype(work())> {
    using Value = decltype(work());
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Value> value;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)]() mutable {
        Value value = work();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->value = std::move(value);
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->done.wait_for(lock, limit, [&] { return shared->value.has_value(); });
    return std::move(shared->value);
}

}  // namespace quorvane
