#include "clip/hotstring.h"

#include <QJSEngine>
#include <QRegularExpression>
#include <QStringList>
#include <memory>
#include <mutex>
#include <vector>

#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"

namespace vandrel {

namespace {

const QString kErrorContentName = QStringLiteral("__JS_EVAL_ERROR_CONTENT");

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

// Interrupts the engine when the limit passes before the evaluation ends. The engine is reached only under
// the lock, and the destructor forgets it before the engine goes, so a late job touches nothing.
class Watchdog {
public:
    Watchdog(QJSEngine& engine, const rx::SchedulerPtr& scheduler, rx::Duration limit)
        : guard_(std::make_shared<Guard>())
    {
        guard_->engine = &engine;
        job_ = scheduler->scheduleAfter(limit, [guard = guard_] {
            std::lock_guard lock(guard->mutex);
            if (!guard->engine) return;
            guard->fired = true;
            guard->engine->setInterrupted(true);  // made for calls from other threads
        });
    }
    ~Watchdog()
    {
        {
            std::lock_guard lock(guard_->mutex);
            guard_->engine = nullptr;
        }
        job_.dispose();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    bool fired() const
    {
        std::lock_guard lock(guard_->mutex);
        return guard_->fired;
    }

private:
    struct Guard {
        std::mutex mutex;
        QJSEngine* engine = nullptr;
        bool fired = false;
    };
    const std::shared_ptr<Guard> guard_;
    rx::Disposable job_;
};

// A script's value, or the text of why it has none.
struct Outcome {
    QJSValue value;
    std::optional<QString> error;
};

Outcome run(QJSEngine& engine, const QString& script, const QJSValue& marker, const Watchdog& watchdog,
            rx::Duration limit)
{
    QStringList thrown;
    QJSValue value = engine.evaluate(script, QString(), 1, &thrown);
    if (watchdog.fired() || engine.isInterrupted()) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
        return {{},
                QString::fromStdString(
                    localized("The expression ran longer than ${0} ms and was stopped", std::to_string(ms)))};
    }
    // Only what escapes the try block arrives here thrown: a syntax error, or a throw from the handler.
    if (!thrown.isEmpty()) return {{}, value.toString()};
    if (value.strictlyEquals(marker)) return {{}, engine.evaluate(kErrorContentName).toString()};
    return {value, std::nullopt};
}

std::size_t characterCount(const QString& text)
{
    std::size_t n = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text[i].isLowSurrogate()) ++n;
    return n;
}

}  // namespace

Hotstring::Hotstring(Options options) : options_(std::move(options)) {}

void Hotstring::showError(const std::string& text) const
{
    const std::string message = "\U0001F625 " + text;
    log.warning("The hotstring cannot be evaluated ->", text);
    if (options_.showError)
        options_.showError(message);
    else
        popupMsg(message, kErrorMessageTime);
}

std::optional<std::string> Hotstring::evaluate(const std::string& expression) const
{
    const QString source = QString::fromStdString(expression);
    if (characterCount(source) > kExpressionLimit) {
        showError(localized("The expression is longer than ${0} characters", std::to_string(kExpressionLimit)));
        return std::nullopt;
    }
    // Made here and dropped here: one engine per evaluation, on the evaluating thread.
    QJSEngine engine;
    const Watchdog watchdog(engine, options_.watchdogScheduler, options_.evaluationLimit);
    const QJSValue marker = engine.evaluate(QString::fromLatin1(jsEvalErrorInitJSString));

    auto outcome = run(engine, wrapperScript(source), marker, watchdog, options_.evaluationLimit);
    if (!outcome.error && outcome.value.isNumber()) {
        log.debug("jsVal is Number");
        const QString rounding =
            QStringLiteral("Number((") + outcome.value.toString() + QStringLiteral(").toPrecision(15))");
        outcome = run(engine, wrapperScript(rounding), marker, watchdog, options_.evaluationLimit);
    }
    if (outcome.error) {
        showError(outcome.error->toStdString());
        return std::nullopt;
    }
    return outcome.value.toString().toStdString();
}

std::string Hotstring::jsEval(const std::string& expression) const
{
    return evaluate(expression).value_or(std::string());
}

std::optional<std::string> Hotstring::valueOf(const std::string& key) const
{
    return options_.evaluator ? options_.evaluator(key) : evaluate(key);
}

std::optional<std::string> Hotstring::multiGet(const std::string& keyString) const
{
    if (keyString.empty()) return std::nullopt;

    // A trailing "=" with the blanks around it, kept exactly as typed.
    static const QRegularExpression trailingEquals(QStringLiteral("\\s*=\\s*$"),
                                                   QRegularExpression::UseUnicodePropertiesOption);
    const QString text = QString::fromStdString(keyString);
    QString body = text;
    QString suffix;
    if (const auto match = trailingEquals.match(text); match.hasMatch()) {
        suffix = match.captured();
        body = text.left(match.capturedStart());
    }

    // The longest run of "#"; the first among runs of equal length.
    qsizetype runStart = -1;
    qsizetype runLength = 0;
    for (qsizetype i = 0; i < body.size();) {
        if (body[i] != u'#') {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < body.size() && body[end] == u'#') ++end;
        if (end - i > runLength) {
            runStart = i;
            runLength = end - i;
        }
        i = end;
    }

    if (runStart >= 0) {
        log.verbose("has separator");
        const std::string key = body.mid(runStart + runLength).toStdString();
        const std::string prefix = body.left(runStart).toStdString();
        if (const auto fixed = keyValueDict.find(key); fixed != keyValueDict.end()) return prefix + fixed->second;
        const auto value = valueOf(key);
        if (!value) return std::nullopt;
        if (!suffix.isEmpty()) return prefix + key + suffix.toStdString() + *value;
        return prefix + *value;
    }

    // The last blank-separated word.
    const qsizetype bodyEnd = [&] {
        qsizetype end = body.size();
        while (end > 0 && body[end - 1] == u' ') --end;
        return end;
    }();
    if (bodyEnd == 0) return std::nullopt;
    const qsizetype keyStart = body.lastIndexOf(u' ', bodyEnd - 1) + 1;
    const std::string key = body.mid(keyStart, bodyEnd - keyStart).toStdString();
    log.verbose("step 4");
    // Without "=" the key is replaced: the text before it stays, and so do blanks typed after it.
    const std::string prefix = suffix.isEmpty() ? body.left(keyStart).toStdString() : body.toStdString();
    const std::string after = suffix.isEmpty() ? body.mid(bodyEnd).toStdString() : std::string();
    if (const auto fixed = keyValueDict.find(key); fixed != keyValueDict.end()) return prefix + fixed->second + after;
    const auto value = valueOf(key);
    if (!value || *value == "undefined") return std::nullopt;
    return prefix + suffix.toStdString() + *value + after;
}

}  // namespace vandrel
