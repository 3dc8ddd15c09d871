#include "clip/hotstring.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/inherited_descriptors.h"
#include "core/install_layout.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"
#include "eval/js_evaluation.h"

namespace vandrel {

namespace {

static_assert(Hotstring::kResultLimit == JsEvaluation::kValueLimit);
constexpr qsizetype kReplyLimit = 1 + 4 * static_cast<qsizetype>(JsEvaluation::kValueLimit);

Hotstring::Evaluation failure(std::string error, std::string kind)
{
    return {std::nullopt, std::move(error), std::move(kind)};
}

Hotstring::Evaluation timedOut(rx::Duration limit)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(limit).count();
    return failure(localized("The expression ran longer than ${0} ms and was stopped", std::to_string(ms)),
                   "time limit");
}

Hotstring::Evaluation tooLong()
{
    return failure(localized("The value is longer than ${0} characters", std::to_string(Hotstring::kResultLimit)),
                   "value too long");
}

// The kind of a thrown error: the language's own error name ("ReferenceError") when the text starts with
// one, never a typed word.
std::string thrownKind(const std::string& text)
{
    for (const char* name : {"Error", "EvalError", "RangeError", "ReferenceError", "SyntaxError", "TypeError",
                             "URIError", "AggregateError", "InternalError"}) {
        const std::string prefix = std::string(name) + ":";
        if (text.rfind(prefix, 0) == 0 || text == name) return name;
    }
    return "thrown value";
}

// The evaluator needs nothing of the program's environment, whose values may be secrets: it starts with an
// empty one, but for what a sanitized build reads to report as the program does.
std::vector<std::string> evaluatorEnvironment()
{
    std::vector<std::string> environment;
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);
    return environment;
}

// Qt 6.4 starts a child with vfork, and when the exec fails there, the child, which shares our memory, forgets the
// pipe that reports the failure, so the parent never closes its end: every failed start would keep a descriptor for
// good, and a broken install would in the end leave the program none. The exec is ours instead: a failed one
// ends the child before Qt sees it fail, the start looks to Qt like one that succeeded, and the child's exit
// status says that it never ran.
constexpr int kCannotRunStatus = 127;  // as the shell and the dynamic loader say it

// The program's path, arguments and environment as exec takes them, made before the child is.
struct ExecArguments {
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    std::vector<char*> argv;
    std::vector<char*> envp;

    ExecArguments(std::vector<std::string> programAndArguments, std::vector<std::string> variables)
        : arguments(std::move(programAndArguments)), environment(std::move(variables))
    {
        for (auto& text : arguments) argv.push_back(text.data());
        for (auto& text : environment) envp.push_back(text.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
    }
    ExecArguments(const ExecArguments&) = delete;
    ExecArguments& operator=(const ExecArguments&) = delete;

    // In the child, between fork and exec: async-signal-safe calls only.
    [[noreturn]] void exec() noexcept
    {
        InheritedDescriptors::markCloseOnExec();
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(kCannotRunStatus);
    }
};

// One evaluator process, on the Qt main thread from start to answer.
struct ChildEvaluation : std::enable_shared_from_this<ChildEvaluation> {
    std::function<void(Hotstring::Evaluation)> done;
    rx::Duration limit{};
    QPointer<QProcess> process;
    std::unique_ptr<ExecArguments> exec;
    QByteArray reply;
    bool overflowed = false;
    bool killed = false;
    bool answered = false;
    rx::Disposable killJob;

    void start(const QString& program, const QByteArray& expression, const rx::SchedulerPtr& watchdog)
    {
        auto* child = new QProcess();
        process = child;
        exec = std::make_unique<ExecArguments>(
            std::vector<std::string>{
                QFile::encodeName(program).toStdString(),
                std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count())},
            evaluatorEnvironment());
        child->setProgram(program);
        child->setStandardErrorFile(QProcess::nullDevice());
        child->setChildProcessModifier([arguments = exec.get()] { arguments->exec(); });
        const auto self = shared_from_this();
        QObject::connect(child, &QProcess::readyReadStandardOutput, child, [self] { self->read(); });
        QObject::connect(child, &QProcess::errorOccurred, child, [self](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                self->answer(failure(localized("The evaluator cannot be started"), "no evaluator"));
        });
        QObject::connect(child, &QProcess::finished, child,
                         [self](int code, QProcess::ExitStatus status) { self->finished(code, status); });
        child->start();
        child->write(expression);
        child->closeWriteChannel();

        // The kill is posted to the main thread, where the process lives.
        std::weak_ptr<ChildEvaluation> weak = self;
        killJob = watchdog->scheduleAfter(limit + Hotstring::kStartAllowance, [weak] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [weak] {
                    const auto run = weak.lock();
                    if (!run || run->answered || !run->process) return;
                    run->killed = true;
                    run->process->kill();
                },
                Qt::QueuedConnection);
        });
    }

    void read()
    {
        if (!process) return;
        reply += process->read(kReplyLimit + 1 - reply.size());
        if (reply.size() > kReplyLimit && !overflowed) {
            overflowed = true;
            process->kill();
        }
    }

    void finished(int code, QProcess::ExitStatus status)
    {
        read();
        if (overflowed) return answer(tooLong());
        if (status == QProcess::CrashExit) {
            // Killed at the limit, or by the CPU limit; anything else is a crash, mostly memory running out.
            if (killed || code == SIGKILL || code == SIGXCPU) return answer(timedOut(limit));
            return answer(failure(localized("The evaluation ran out of memory or crashed and was stopped"), "crash"));
        }
        if (code == kCannotRunStatus && reply.isEmpty()) {
            log.error("The evaluator is missing or cannot be run ->", process->program().toStdString());
            return answer(failure(localized("The evaluator cannot be started"), "no evaluator"));
        }
        if (code != 0 || reply.isEmpty())
            return answer(failure(localized("The evaluator gave no answer"), "no answer"));
        const std::string text = reply.mid(1).toStdString();
        switch (reply.front()) {
            case JsEvaluation::kValueReply:
                if (codePointCount(text) > Hotstring::kResultLimit) return answer(tooLong());
                return answer({text, {}, {}});
            case JsEvaluation::kErrorReply:
                return answer(failure(text, thrownKind(text)));
            case JsEvaluation::kTooLongReply:
                return answer(tooLong());
            case JsEvaluation::kTimeOutReply:
                return answer(timedOut(limit));
            default:
                return answer(failure(localized("The evaluator gave no answer"), "no answer"));
        }
    }

    void answer(Hotstring::Evaluation evaluation)
    {
        if (answered) return;
        answered = true;
        killJob.dispose();
        if (process) process->deleteLater();
        done(std::move(evaluation));
    }
};

void evaluateInChild(QString program, std::string expression, rx::Duration limit, rx::SchedulerPtr watchdog,
                     std::function<void(Hotstring::Evaluation)> done)
{
    auto* app = QCoreApplication::instance();
    if (!app) return done(failure(localized("The evaluator cannot be started"), "no evaluator"));
    auto run = std::make_shared<ChildEvaluation>();
    run->done = std::move(done);
    run->limit = limit;
    auto start = [run, program = std::move(program), expression = QByteArray::fromStdString(expression),
                  watchdog = std::move(watchdog)] { run->start(program, expression, watchdog); };
    if (QThread::currentThread() == app->thread())
        start();
    else
        QMetaObject::invokeMethod(app, std::move(start), Qt::QueuedConnection);
}

}  // namespace

Hotstring::Hotstring(Options options) : options_(std::move(options)) {}

void Hotstring::evaluate(const std::string& expression, Answer answer) const
{
    auto finish = [showError = options_.showError, answer = std::move(answer)](Evaluation evaluation) {
        if (evaluation.value) return answer(std::move(evaluation.value));
        log.warning("The hotstring cannot be evaluated ->", evaluation.kind);
        const std::string message = shortened("\U0001F625 " + evaluation.error, kMessageLimit);
        if (showError)
            showError(message);
        else
            popupMsg(message, kErrorMessageTime);
        answer(std::nullopt);
    };
    if (codePointCount(expression) > kExpressionLimit)
        return finish(
            failure(localized("The expression is longer than ${0} characters", std::to_string(kExpressionLimit)),
                    "expression too long"));
    if (options_.evaluator) return options_.evaluator(expression, std::move(finish));

    const QString program =
        !options_.evaluatorPath.empty()
            ? QString::fromStdString(options_.evaluatorPath)
            : QString::fromStdString(
                  InstallLayout::helperFor(InstallLayout::runningExecutable(), evaluatorFileName).string());
    evaluateInChild(program, expression, options_.evaluationLimit, options_.watchdogScheduler, std::move(finish));
}

void Hotstring::multiGet(const std::string& keyString, Answer answer) const
{
    if (keyString.empty()) return answer(std::nullopt);

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
        if (const auto fixed = keyValueDict.find(key); fixed != keyValueDict.end())
            return answer(prefix + fixed->second);
        const std::string kept = suffix.isEmpty() ? prefix : prefix + key + suffix.toStdString();
        return evaluate(key, [kept, answer = std::move(answer)](std::optional<std::string> value) {
            answer(value ? std::optional(kept + *value) : std::nullopt);
        });
    }

    // The last blank-separated word.
    const qsizetype bodyEnd = [&] {
        qsizetype end = body.size();
        while (end > 0 && body[end - 1] == u' ') --end;
        return end;
    }();
    if (bodyEnd == 0) return answer(std::nullopt);
    const qsizetype keyStart = body.lastIndexOf(u' ', bodyEnd - 1) + 1;
    const std::string key = body.mid(keyStart, bodyEnd - keyStart).toStdString();
    log.verbose("step 4");
    // Without "=" the key is replaced: the text before it stays, and so do blanks typed after it.
    const std::string prefix = suffix.isEmpty() ? body.left(keyStart).toStdString() : body.toStdString();
    const std::string after = suffix.isEmpty() ? body.mid(bodyEnd).toStdString() : std::string();
    if (const auto fixed = keyValueDict.find(key); fixed != keyValueDict.end())
        return answer(prefix + fixed->second + after);
    evaluate(key, [kept = prefix + suffix.toStdString(), after,
                   answer = std::move(answer)](std::optional<std::string> value) {
        if (!value || *value == "undefined") return answer(std::nullopt);
        answer(kept + *value + after);
    });
}

}  // namespace vandrel
