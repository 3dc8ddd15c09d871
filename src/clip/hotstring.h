// The replacement for the text before the caret, and the expression evaluator behind it.
//
// multiGet() splits the text into a kept prefix and a key and evaluates the key:
//   - a trailing "=" (blanks allowed around it) is cut off and kept as typed; the typed expression then
//     stays and the value follows the "=": "12*3 =" -> "12*3 =36";
//   - "#" form: the key is everything after the longest run of "#" (the first of equal runs), blanks
//     included; the run is dropped: "total #2 * 3" -> "total 6";
//   - otherwise the key is the last blank-separated word, replaced by its value: "price 12*3" -> "price 36";
//     a value of "undefined" there means nothing to replace.
// A failed evaluation replaces nothing: the user's text stays as it was and the error is shown.
//
// Text typed by anyone may arrive here, so the JavaScript never runs in this process: each evaluation
// starts the evaluator (vandrel-eval, next to the program; see eval/js_evaluation.h) as a child with
// address-space and CPU limits, which stops the expression when evaluationLimit passes; a child that has
// not answered by evaluationLimit and kStartAllowance is killed (a job on the watchdog scheduler). The caller never
// waits: the child is started and read on the Qt main thread through its signals, and the answer comes there.
// The child starts with an empty environment. Everything but a value is a failure, shown as "😥 " and why in at most
// kMessageLimit characters: an error thrown (also while the value is turned into text), a value holding a NUL
// character, the time limit, a crash (running out of memory), a value longer than kResultLimit characters, an
// expression longer than kExpressionLimit characters. The log names the kind of failure, never the expression or the
// error's text.
//
// Every member may be called from any thread, also at the same time.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "rx/scheduler.h"

namespace vandrel {

class Hotstring {
public:
    // Characters (code points) of the longest expression evaluated and of the longest value.
    static constexpr std::size_t kExpressionLimit = 1000;
    static constexpr std::size_t kResultLimit = 10000;
    // Characters of the longest error message shown.
    static constexpr std::size_t kMessageLimit = 200;
    static constexpr rx::Duration kEvaluationLimit = std::chrono::milliseconds(500);
    // The evaluator stops an expression at evaluationLimit itself; one that has not answered by then and
    // this allowance for starting up is killed. Loading the evaluator's libraries takes a moment on an idle machine
    // and many seconds on a busy or emulated one: the allowance only catches an evaluator that hangs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitized evaluator takes several times longer to load its libraries.
    static constexpr rx::Duration kStartAllowance = std::chrono::milliseconds(120000);
#else
    static constexpr rx::Duration kStartAllowance = std::chrono::milliseconds(30000);
#endif
    // How long an evaluation error stays on screen, in seconds.
    static constexpr double kErrorMessageTime = 3.0;
    // The evaluator's file name, next to the program.
    static constexpr const char* evaluatorFileName = "vandrel-eval";

    // The replacement, or none when there is nothing to replace.
    using Answer = std::function<void(std::optional<std::string>)>;

    // What one evaluation gave: the value, or why there is none (shown) and the kind of failure (logged).
    struct Evaluation {
        std::optional<std::string> value;
        std::string error;
        std::string kind;
    };
    using Evaluator = std::function<void(const std::string& expression, std::function<void(Evaluation)> done)>;

    // watchdogScheduler is required unless evaluator is set.
    struct Options {
        // Runs the job that kills an evaluation past its limit: a queue of its own, so that busy queues
        // never delay it.
        rx::SchedulerPtr watchdogScheduler;
        rx::Duration evaluationLimit = kEvaluationLimit;
        // Shows an evaluation error to the user; null: a transient message for kErrorMessageTime.
        std::function<void(const std::string& message)> showError;
        // The evaluator program; empty: evaluatorFileName beside the running program, else the installed one.
        std::string evaluatorPath;
        // Stands in for the evaluator process; null: the process.
        Evaluator evaluator;
    };

    explicit Hotstring(Options options);

    // Answers with the replacement for keyString (see above).
    void multiGet(const std::string& keyString, Answer answer) const;

    // Answers with the expression's value as text: strings as they are, numbers rounded to 15 significant
    // digits, undefined as "undefined". None after a failure, which is shown and logged by its kind.
    void evaluate(const std::string& expression, Answer answer) const;

    // Fixed expansions, looked up before evaluating; none are kept yet.
    std::map<std::string, std::string> keyValueDict;

private:
    const Options options_;
};

}  // namespace vandrel
