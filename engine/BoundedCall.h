#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace quorvane {

/// Runs `work` on a thread of its own and waits for its value up to `limit`, or until
/// `stillWanted` says no (asked every few milliseconds). Nothing when the wait ends first: the
/// thread is left to finish by itself (a read from a hung network mount can sit in the kernel
/// for a long time) and its value is dropped. `work` must own everything it uses.
template <typename Work, typename StillWanted>
auto callWithin(std::chrono::milliseconds limit, Work work, StillWanted stillWanted)
    -> std::optional<decltype(work())> {
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
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock<std::mutex> lock(shared->mutex);
    while (!shared->value && std::chrono::steady_clock::now() < deadline && stillWanted()) {
        shared->done.wait_for(lock, std::chrono::milliseconds(20));
    }
    return std::move(shared->value);
}

template <typename Work>
auto callWithin(std::chrono::milliseconds limit, Work work) -> std::optional<decltype(work())> {
    return callWithin(limit, std::move(work), [] { return true; });
}

}  // namespace quorvane
