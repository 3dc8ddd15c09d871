// Running a job on another thread and waiting for it, shared by the main queue and the serial queues.
#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace vandrel {

// Hands work to post, which queues it to run elsewhere, and waits until it ran; an exception it threw is
// rethrown here. Returns false, without waiting, when post could not queue the job.
bool runAndWait(const std::function<void()>& work, const std::function<bool(std::function<void()>)>& post);

// f's result through a void runner such as runAndWait: the typed front of the queues' sync().
template <class F, class Runner>
auto callThrough(F&& f, Runner&& run) -> std::invoke_result_t<F&>
{
    using R = std::invoke_result_t<F&>;
    if constexpr (std::is_void_v<R>) {
        run([&f] { f(); });
    } else {
        std::optional<R> result;
        run([&f, &result] { result.emplace(f()); });
        return std::move(*result);
    }
}

}  // namespace vandrel
