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
// Evaluation runs the text in a JavaScript engine of its own, made for that one call on the calling thread
// and dropped after it, so nothing one evaluation defines reaches the next and no engine is shared between
// threads. The engine has only the language's own built-ins: no host object, no file or network access.
// Text typed by anyone may arrive here, so an evaluation is stopped after evaluationLimit (a watchdog job
// on its own scheduler interrupts the engine) and an expression longer than kExpressionLimit characters is
// refused. Numbers are rounded to 15 significant digits, which hides binary floating-point noise
// (0.1+0.2 gives 0.3).
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
    // Characters (code points) of the longest expression evaluated.
    static constexpr std::size_t kExpressionLimit = 1000;
    static constexpr rx::Duration kEvaluationLimit = std::chrono::milliseconds(500);
    // How long an evaluation error stays on screen, in seconds.
    static constexpr double kErrorMessageTime = 3.0;
    // Defines the error marker in a fresh engine and yields it.
    static constexpr const char* jsEvalErrorInitJSString =
        "var __JS_EVAL_ERROR = Symbol('__JS_EVAL_ERROR'); __JS_EVAL_ERROR";

    // The value of an expression as text, or none when it failed (after showing why).
    using Evaluator = std::function<std::optional<std::string>(const std::string& expression)>;

    // watchdogScheduler is required.
    struct Options {
        // Runs the job that interrupts an evaluation past its limit: a queue of its own, so that busy
        // queues never delay it.
        rx::SchedulerPtr watchdogScheduler;
        rx::Duration evaluationLimit = kEvaluationLimit;
        // Shows an evaluation error to the user; null: a transient message for kErrorMessageTime.
        std::function<void(const std::string& message)> showError;
        // Stands in for the JavaScript evaluation; null: evaluate().
        Evaluator evaluator;
    };

    explicit Hotstring(Options options);

    // The replacement for keyString, or none when there is nothing to replace.
    std::optional<std::string> multiGet(const std::string& keyString) const;

    // The expression's value as text: strings as they are, numbers rounded to 15 significant digits,
    // undefined as "undefined". None after an error (thrown, a syntax error, too long, interrupted), which
    // is shown as "😥 " and its text.
    std::optional<std::string> evaluate(const std::string& expression) const;
    // evaluate(), with the empty text after an error.
    std::string jsEval(const std::string& expression) const;

    // Fixed expansions, looked up before evaluating; none are kept yet.
    std::map<std::string, std::string> keyValueDict;

private:
    std::optional<std::string> valueOf(const std::string& key) const;
    void showError(const std::string& text) const;

    const Options options_;
};

}  // namespace vandrel
