#include "eval/js_evaluation.h"

#include <QJSEngine>
#include <QStringList>

namespace vandrel {

namespace {

const QString kErrorContentName = QStringLiteral("__JS_EVAL_ERROR_CONTENT");
// Defines the error marker in a fresh engine and yields it.
const char* const kErrorMarkerScript = "var __JS_EVAL_ERROR = Symbol('__JS_EVAL_ERROR'); __JS_EVAL_ERROR";

// A function that turns a value into text as String() does, or yields the error marker and keeps the error's
// text when that throws (the text of an error whose own conversion throws is a fixed one).
const char* const kToTextScript =
    "(function (S) { return function (v, marker) {\n"
    "    try { return S(v) } catch (e) {\n"
    "        try { __JS_EVAL_ERROR_CONTENT = S(e) } catch (_) { __JS_EVAL_ERROR_CONTENT = 'The value cannot be turned "
    "into text' }\n"
    "        return marker\n"
    "    }\n"
    "} })(String)";

// The expression on its own line inside a try block: the script's value is the expression's, or the error
// marker when it throws (the error's text is then kept in __JS_EVAL_ERROR_CONTENT).
QString wrapperScript(const QString& expression)
{
    return QStringLiteral(
               "    var __JS_EVAL_ERROR_CONTENT = ''\n"
               "    try {\n"
               "        ") +
           expression +
           QStringLiteral(
               "\n"
               "    } catch(e) {\n"
               "        __JS_EVAL_ERROR_CONTENT = e.toString()\n"
               "        __JS_EVAL_ERROR\n"
               "    }");
}

struct Outcome {
    QJSValue value;
    std::optional<QString> error;
};

Outcome run(QJSEngine& engine, const QString& script, const QJSValue& marker)
{
    QStringList thrown;
    QJSValue value = engine.evaluate(script, QString(), 1, &thrown);
    // Only what escapes the try block arrives here thrown: a syntax error, or a throw from the handler.
    if (!thrown.isEmpty()) return {{}, value.toString()};
    if (value.strictlyEquals(marker)) return {{}, engine.evaluate(kErrorContentName).toString()};
    return {value, std::nullopt};
}

}  // namespace

std::size_t codePointCount(const std::string& text)
{
    std::size_t n = 0;
    for (const unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

std::string shortened(const std::string& text, std::size_t limit)
{
    if (limit == 0) return {};
    if (codePointCount(text) <= limit) return text;
    std::size_t kept = 0;
    std::size_t end = 0;
    for (; end < text.size(); ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) continue;
        if (kept == limit - 1) break;
        ++kept;
    }
    return text.substr(0, end) + "\u2026";
}

JsEvaluation JsEvaluation::run(const std::string& expression, const std::function<void()>& ready)
{
    QJSEngine engine;
    const QJSValue marker = engine.evaluate(QString::fromLatin1(kErrorMarkerScript));
    // Taken before the expression runs, which may replace the global String.
    const QJSValue toText = engine.evaluate(QString::fromLatin1(kToTextScript));
    if (ready) ready();
    auto outcome = vandrel::run(engine, wrapperScript(QString::fromStdString(expression)), marker);
    if (!outcome.error && outcome.value.isNumber()) {
        const QString rounding =
            QStringLiteral("Number((") + outcome.value.toString() + QStringLiteral(").toPrecision(15))");
        outcome = vandrel::run(engine, wrapperScript(rounding), marker);
    }
    if (outcome.error) return {std::nullopt, outcome.error->toStdString()};
    // The value's own toString() (or any step of turning it into text) may throw: that is an error, never a
    // value, and so is what is no string after the conversion.
    const QJSValue text = toText.call({outcome.value, marker});
    if (text.strictlyEquals(marker)) return {std::nullopt, engine.evaluate(kErrorContentName).toString().toStdString()};
    if (!text.isString()) return {std::nullopt, "The value cannot be turned into text"};
    const QString value = text.toString();
    if (value.contains(QChar(0))) return {std::nullopt, "The value holds a NUL character"};
    return {value.toStdString(), {}};
}

std::string JsEvaluation::reply() const
{
    if (!value) return kErrorReply + shortened(error, kErrorLimit);
    if (codePointCount(*value) > kValueLimit) return std::string(1, kTooLongReply);
    return kValueReply + *value;
}

}  // namespace vandrel
