// One hotstring expression evaluated in a JavaScript engine of its own, and the reply the evaluator process
// (vandrel-eval) writes for it.
//
// The expression runs on its own line inside a try block (the wrapper script), in an engine made for this
// one call with only the language's own built-ins: no host object, no file or network access. Numbers are
// rounded to 15 significant digits, which hides binary floating-point noise (0.1+0.2 gives 0.3); strings
// come as they are, undefined as "undefined", anything else as String() makes it. An error thrown while the
// value is turned into text (its own toString()) is an error, and so is a value holding a NUL character.
//
// Nothing here stops a runaway expression: the process around it does (address-space and CPU limits, a
// deadline), and the program that started it kills it at the time limit.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace vandrel {

struct JsEvaluation {
    // Characters (code points) of the longest value and the longest error text replied.
    static constexpr std::size_t kValueLimit = 10000;
    static constexpr std::size_t kErrorLimit = 200;

    // The first byte of the evaluator's reply on its standard output; the text follows it.
    static constexpr char kValueReply = 'V';    // the value
    static constexpr char kErrorReply = 'E';    // the error thrown (or the syntax error), shortened
    static constexpr char kTooLongReply = 'L';  // a value longer than kValueLimit; no text
    static constexpr char kTimeOutReply = 'T';  // the deadline passed; no text

    // The value as text, or none with the error's text.
    std::optional<std::string> value;
    std::string error;

    // `ready`, when given, is called once the engine is made, right before the expression runs.
    static JsEvaluation run(const std::string& expression, const std::function<void()>& ready = {});
    // The reply for this outcome.
    std::string reply() const;
};

// The number of code points in UTF-8 text.
std::size_t codePointCount(const std::string& text);
// The text cut to at most `limit` code points, the last of them an ellipsis when it was cut.
std::string shortened(const std::string& text, std::size_t limit);

}  // namespace vandrel
