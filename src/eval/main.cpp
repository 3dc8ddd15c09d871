// vandrel-eval: evaluates one hotstring expression and ends. The program starts it for each evaluation,
// writes the expression (UTF-8) to its standard input, closes it, and reads the reply from its standard
// output (see JsEvaluation). Usage: vandrel-eval [time limit in ms].
//
// Whatever the expression does, this process stays small and short: its address space and CPU time are
// limited, and a thread of its own ends it with a time-out reply at the deadline (a
// single built-in call cannot be interrupted). The program also kills it when it has not answered by the
// limit and a start-up allowance.
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "eval/js_evaluation.h"

namespace {

// Enough for the engine and any sensible expression; a runaway allocation fails instead.
constexpr rlim_t kAddressSpaceLimit = rlim_t{768} << 20;
// CPU seconds the start-up may take before the engine is made (then the expression's own limit applies).
constexpr rlim_t kStartCpuSeconds = 60;
// The longest expression the program sends is 1000 characters, at most 4 bytes each.
constexpr std::size_t kInputLimit = 4000;

std::mutex replying;

// Writes the reply and ends the process, whoever comes first: the evaluation or the deadline. The other
// waits here until the process is gone. Nothing to tidy: the engine's heap may be large.
[[noreturn]] void replyAndExit(const std::string& reply)
{
    replying.lock();
    std::size_t written = 0;
    while (written < reply.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, reply.data() + written, reply.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    ::_exit(0);
}

void limit(int resource, rlim_t value)
{
    const rlimit limit{value, value};
    ::setrlimit(resource, &limit);
}

bool underSanitizer()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    const long limitMs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 500;
    const auto deadline = std::chrono::milliseconds(limitMs > 0 ? limitMs : 500);

    // The sanitizers reserve terabytes of address space up front; there the CPU limit and the deadline
    // remain.
    if (!underSanitizer()) limit(RLIMIT_AS, kAddressSpaceLimit);
    // Until the engine is made (below) the CPU limit only bounds the start-up, which on a busy or emulated machine
    // takes far longer than the expression may.
    limit(RLIMIT_CPU, kStartCpuSeconds);
    limit(RLIMIT_CORE, 0);

    std::string expression;
    char buffer[1024];
    for (ssize_t n; (n = ::read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
        expression.append(buffer, static_cast<std::size_t>(n));
        if (expression.size() > kInputLimit) return 2;
    }

    QCoreApplication app(argc, argv);
    // The deadline and the CPU limit count from when the engine is made: starting this process and making the
    // engine are not the expression's time.
    const auto ready = [deadline] {
        rusage used{};
        ::getrusage(RUSAGE_SELF, &used);
        const auto seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec + 1);
        limit(RLIMIT_CPU, seconds + static_cast<rlim_t>((deadline.count() + 999) / 1000 + 1));
        std::thread([deadline] {
            std::this_thread::sleep_for(deadline);
            replyAndExit(std::string(1, vandrel::JsEvaluation::kTimeOutReply));
        }).detach();
    };
    replyAndExit(vandrel::JsEvaluation::run(expression, ready).reply());
}
