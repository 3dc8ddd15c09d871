// The hotstring replacement: how typed text splits into a kept prefix and a key, what the evaluator process
// gives, and how it fails, away from this process, on whatever an expression does.
#include "clip/hotstring.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/log_capture.h"
#include "rx/virtual_time_scheduler.h"
#include "support/event_loop_wait.h"

namespace vandrel {
namespace {

using Result = std::optional<std::string>;

// The resident memory of this process, in bytes.
long residentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * 4096;
}

struct HotstringTest : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> watchdog = rx::VirtualTimeScheduler::make();
    std::vector<std::string> messages;

    Hotstring make(Hotstring::Evaluator evaluator = {}, std::string program = VANDREL_EVAL_PROGRAM)
    {
        Hotstring::Options options;
        options.watchdogScheduler = watchdog;
        options.showError = [this](const std::string& m) { messages.push_back(m); };
        options.evaluatorPath = std::move(program);
        options.evaluator = std::move(evaluator);
        return Hotstring(std::move(options));
    }

    // The answer, waiting for the evaluator process when there is one.
    template <typename Call>
    static Result answerOf(Call call)
    {
        bool answered = false;
        Result result;
        call([&](Result r) {
            result = std::move(r);
            answered = true;
        });
        EXPECT_TRUE(test::runEventLoopUntil([&] { return answered; }, 20000)) << "no answer";
        return result;
    }
    static Result expand(const Hotstring& hotstring, const std::string& typed)
    {
        return answerOf([&](Hotstring::Answer a) { hotstring.multiGet(typed, std::move(a)); });
    }
    static Result value(const Hotstring& hotstring, const std::string& expression)
    {
        return answerOf([&](Hotstring::Answer a) { hotstring.evaluate(expression, std::move(a)); });
    }
};

// Answers at once: the key in angle brackets, "undefined" for "u", an error for "bad".
void fake(const std::string& key, std::function<void(Hotstring::Evaluation)> done)
{
    if (key == "bad") return done({std::nullopt, "ReferenceError: bad is not defined", "ReferenceError"});
    done({key == "u" ? "undefined" : "<" + key + ">", {}, {}});
}

TEST_F(HotstringTest, TypedTextsGiveTheirDocumentedReplacements)
{
    const Hotstring hotstring = make();
    const struct {
        const char* typed;
        Result result;
    } rows[] = {
        {"", std::nullopt},
        {"12*3", "36"},
        {"price 12*3", "price 36"},
        {"12*3 =", "12*3 =36"},
        {"2 * 3 =", "2 * 3 =3"},  // only the last word is evaluated
        {"total #2 * 3", "total 6"},
        {"total #2 * 3 =", "total 2 * 3 =6"},
        {"=", std::nullopt},
        {"=  ", std::nullopt},
        {"7*6", "42"},
        {"x 7*6", "x 42"},
        {"7*6=", "7*6=42"},
        {"7*6 =  ", "7*6 =  42"},
        {"void(0)", std::nullopt},  // undefined: nothing to replace
        {"#void 0", "undefined"},   // the "#" form inserts it
        {"0.1+0.2", "0.3"},
        {"1/3", "0.333333333333333"},
        {"Math.pow(2,70)", "1.18059162071741e+21"},
        {"1/0", "Infinity"},
        {"0/0", "NaN"},
        {"'a'+'b'", "ab"},
        // Evaluation errors keep the user's text: nothing to replace.
        {"abc", std::nullopt},
        {"abc def", std::nullopt},
        {"##a #b", std::nullopt},  // the key "a #b" is no expression
        // Blanks after the key stay after its value.
        {"x 7*6  ", "x 42  "},
        {"7*6 ", "42 "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("typed: \"") + row.typed + "\"");
        EXPECT_EQ(expand(hotstring, row.typed), row.result);
    }
    // One message per failed evaluation: abc, def, and the key of "##a #b".
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "\U0001F625 ReferenceError: abc is not defined");
}

TEST_F(HotstringTest, SplittingHandsTheEvaluatorTheKeyAndKeepsThePrefix)
{
    std::vector<std::string> keys;
    const Hotstring hotstring = make([&keys](const std::string& key, auto done) {
        keys.push_back(key);
        fake(key, std::move(done));
    });
    const struct {
        const char* typed;
        Result result;
        const char* key;  // null: the evaluator is not asked
    } rows[] = {
        {"a b c", "a b <c>", "c"},
        {"a  b", "a  <b>", "b"},
        {"a b =", "a b =<b>", "b"},
        {"a b\t=\t", "a b\t=\t<b>", "b"},  // any blank around "="
        {"a = b = ", "a = b = <b>", "b"},  // only the last "=" is the tail
        {"pre #k e y", "pre <k e y>", "k e y"},
        {"pre #k =", "pre k =<k>", "k"},
        {"##a #b", "<a #b>", "a #b"},           // the longest run wins
        {"#a ##b ##c", "#a <b ##c>", "b ##c"},  // the first of equal runs
        {"x #", "x <>", ""},
        {"café 2*2", "café <2*2>", "2*2"},
        {"u", std::nullopt, "u"},
        {"#u", "undefined", "u"},
        {"keep bad", std::nullopt, "bad"},
        {"#bad", std::nullopt, "bad"},
        {"bad =", std::nullopt, "bad"},
        {"   ", std::nullopt, nullptr},
        {" = ", std::nullopt, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("typed: \"") + row.typed + "\"");
        keys.clear();
        EXPECT_EQ(expand(hotstring, row.typed), row.result);
        if (row.key)
            EXPECT_EQ(keys, std::vector<std::string>{row.key});
        else
            EXPECT_TRUE(keys.empty());
    }
}

TEST_F(HotstringTest, FixedExpansionsAreLookedUpBeforeEvaluating)
{
    int asked = 0;
    Hotstring hotstring = make([&asked](const std::string& key, auto done) {
        ++asked;
        fake(key, std::move(done));
    });
    hotstring.keyValueDict["sig"] = "Best regards";
    EXPECT_EQ(expand(hotstring, "hello sig"), "hello Best regards");
    EXPECT_EQ(expand(hotstring, "hello #sig"), "hello Best regards");
    EXPECT_EQ(asked, 0);
}

TEST_F(HotstringTest, EvaluationGivesTheValueAsText)
{
    const Hotstring hotstring = make();
    const struct {
        const char* expression;
        const char* text;
    } rows[] = {
        {"0.1+0.2", "0.3"},
        {"-1/3", "-0.333333333333333"},
        {"2**70", "1.18059162071741e+21"},
        {"-1/0", "-Infinity"},
        {"'a'+'b'", "ab"},
        {"void(0)", "undefined"},
        {"null", "null"},
        {"1 < 2", "true"},
        {"[1, 2]", "1,2"},
        {"new Error('made, not thrown')", "Error: made, not thrown"},
        {"'\U0001F600'.length", "2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expression);
        EXPECT_EQ(value(hotstring, row.expression), Result(row.text));
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(watchdog->pendingCount(), 0u) << "the kill of a finished evaluation is cancelled";
}

TEST_F(HotstringTest, EachEvaluationStartsCleanWithoutHostObjects)
{
    const Hotstring hotstring = make();
    EXPECT_EQ(value(hotstring, "var leaked = 5; leaked"), Result("5"));
    EXPECT_EQ(value(hotstring, "typeof leaked"), Result("undefined"));
    EXPECT_EQ(value(hotstring, "Object.prototype.x = 1; ({}).x"), Result("1"));
    EXPECT_EQ(value(hotstring, "({}).x"), Result("undefined"));
    for (const char* name : {"console", "Qt", "print", "gc", "XMLHttpRequest", "require", "process", "qsTr"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(value(hotstring, std::string("typeof ") + name), Result("undefined"));
    }
}

TEST_F(HotstringTest, ErrorsAreShownAndGiveNoValue)
{
    const Hotstring hotstring = make();
    EXPECT_EQ(value(hotstring, "abc"), std::nullopt);
    EXPECT_EQ(value(hotstring, "throw 'plain'"), std::nullopt);
    EXPECT_EQ(value(hotstring, "1}"), std::nullopt);                              // a syntax error
    EXPECT_EQ(value(hotstring, "1} catch(e) {} {"), std::nullopt);                // breaking out of the wrapper
    EXPECT_EQ(value(hotstring, "throw {toString() { throw 1 }}"), std::nullopt);  // even from the handler
    // Turning the value into text fails: an error, never the error's text as the value.
    EXPECT_EQ(value(hotstring, "({toString() { throw 'oops' }})"), std::nullopt);
    EXPECT_EQ(value(hotstring, "Object.create(null)"), std::nullopt);
    EXPECT_EQ(value(hotstring, "({toString() { throw {toString() { throw 2 }} }})"), std::nullopt);
    EXPECT_EQ(value(hotstring, "'a\\0b'"), std::nullopt);
    ASSERT_EQ(messages.size(), 9u);
    EXPECT_EQ(messages[0], "\U0001F625 ReferenceError: abc is not defined");
    EXPECT_EQ(messages[1], "\U0001F625 plain");
    EXPECT_EQ(messages[2].rfind("\U0001F625 SyntaxError", 0), 0u) << messages[2];
    EXPECT_EQ(messages[5], "\U0001F625 oops");
    EXPECT_EQ(messages[6].rfind("\U0001F625 TypeError", 0), 0u) << messages[6];
    EXPECT_EQ(messages[7], "\U0001F625 The value cannot be turned into text");
    EXPECT_EQ(messages[8], "\U0001F625 The value holds a NUL character");
}

TEST_F(HotstringTest, TheEvaluatorStartsWithAnEmptyEnvironmentAndOnlyTheStandardDescriptors)
{
    QTemporaryDir dir;
    const std::string program = dir.filePath("print-environment").toStdString();
    // ls reads the listing through descriptor 3.
    std::ofstream(program) << "#!/bin/sh\nprintf 'V%s%s' \"$VANDREL_TEST_SECRET\" \"$HOME\"\n"
                           << "ls /proc/self/fd | tr -d '\\n'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    ::setenv("VANDREL_TEST_SECRET", "not for children", 1);
    const int inherited = ::open("/dev/null", O_RDONLY);  // as one we were started with: no close-on-exec
    EXPECT_EQ(value(make({}, program), "1"), Result("0123"));
    ::close(inherited);
    ::unsetenv("VANDREL_TEST_SECRET");
}

TEST_F(HotstringTest, ExpressionsOverTheCharacterLimitAreRefused)
{
    const Hotstring hotstring = make();
    const std::string longest = std::string(Hotstring::kExpressionLimit - 1, ' ') + "7";
    EXPECT_EQ(value(hotstring, longest), Result("7"));
    EXPECT_EQ(value(hotstring, " " + longest), std::nullopt);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "\U0001F625 The expression is longer than 1000 characters");

    // Characters, not bytes: 998 two-byte letters in quotes are 1000 characters.
    std::string letters = "'";
    for (std::size_t i = 0; i < Hotstring::kExpressionLimit - 2; ++i) letters += "\u00e9";
    letters += "'";
    EXPECT_EQ(value(hotstring, letters + ".length"), std::nullopt);
    EXPECT_EQ(value(hotstring, letters).value_or("").size(), 2 * (Hotstring::kExpressionLimit - 2));
}

TEST_F(HotstringTest, HostileExpressionsFailQuicklyAwayFromTheProgram)
{
    const Hotstring hotstring = make();
    const std::string stopped = "\U0001F625 The expression ran longer than 500 ms and was stopped";
    const std::string crashed = "\U0001F625 The evaluation ran out of memory or crashed and was stopped";
    const struct {
        const char* expression;
        std::vector<std::string> messages;  // any of them; empty: a thrown error's own text
    } rows[] = {
        {"new Array(2**32-1).fill(0).length", {stopped, crashed}},
        {"\"x\".repeat(3e7).split(\"\").length", {stopped, crashed}},
        {"new ArrayBuffer(4e9)", {}},
        {"\"x\".repeat(1e9)", {}},
        {"while(true){}", {stopped}},
        {"({toString() { for (;;) {} }})", {stopped}},
        {"\"x\".repeat(1e7)", {"\U0001F625 The value is longer than 10000 characters", stopped}},
        {"throw \"z\".repeat(1e7)", {}},
    };
    // The watchdog here never moves: each answer comes from the evaluator's own limits (500 ms of
    // evaluation, memory, CPU time), well inside the wait's bound, whatever the machine's load.
    const long before = residentBytes();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expression);
        messages.clear();
        EXPECT_EQ(value(hotstring, row.expression), std::nullopt);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_LE(QString::fromStdString(messages[0]).toUcs4().size(), Hotstring::kMessageLimit) << messages[0];
        if (!row.messages.empty()) {
            EXPECT_NE(std::find(row.messages.begin(), row.messages.end(), messages[0]), row.messages.end())
                << messages[0];
        }
    }
    EXPECT_LT(residentBytes() - before, 32l << 20) << "the program's memory stays as it was";
    // The longest value is pasted whole.
    EXPECT_EQ(value(hotstring, "'x'.repeat(10000)").value_or("").size(), Hotstring::kResultLimit);
}

TEST_F(HotstringTest, AnEvaluationThatDoesNotAnswerIsKilledAndTheNextRunsNormally)
{
    const Hotstring hotstring = make();
    Result result = "none yet";
    bool answered = false;
    hotstring.evaluate("while(true){}", [&](Result r) {
        result = r;
        answered = true;
    });
    // Killed, whatever the process does, when it has not answered by the limit and the start-up allowance.
    watchdog->advanceBy(Hotstring::kEvaluationLimit + Hotstring::kStartAllowance - std::chrono::milliseconds(1));
    QCoreApplication::processEvents();
    EXPECT_FALSE(answered);
    watchdog->advanceBy(std::chrono::milliseconds(1));
    ASSERT_TRUE(test::runEventLoopUntil([&] { return answered; }));
    EXPECT_EQ(result, std::nullopt);
    EXPECT_EQ(messages, std::vector<std::string>{"\U0001F625 The expression ran longer than 500 ms and was stopped"});

    EXPECT_EQ(value(hotstring, "6*7"), Result("42"));
    // A broken install fails every evaluation the same way, and no failed start keeps a descriptor.
    const auto openDescriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    QTemporaryDir dir;
    const std::string noInterpreter = dir.filePath("no-interpreter").toStdString();
    const std::string truncated = dir.filePath("truncated").toStdString();
    std::ofstream(noInterpreter) << "#!/nonexistent/interpreter\n";
    std::filesystem::copy_file(VANDREL_EVAL_PROGRAM, truncated);
    std::filesystem::resize_file(truncated, 200);
    for (const auto& file : {noInterpreter, truncated})
        std::filesystem::permissions(file, std::filesystem::perms(0755));
    const auto before = openDescriptors();
    for (const std::string& program : {std::string("/nonexistent/vandrel-eval"), std::string("/etc/hostname"),
                                       std::string("/etc"), noInterpreter, truncated}) {
        for (int i = 0; i < 10; ++i) EXPECT_EQ(value(make({}, program), "6*7"), std::nullopt) << program;
        EXPECT_EQ(messages.back(), "\U0001F625 The evaluator cannot be started") << program;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HotstringTest, TheLogNamesTheKindOfFailureButNoTypedWord)
{
    test::ScopedLogCapture logged;
    const Hotstring hotstring = make();
    EXPECT_EQ(expand(hotstring, "secretword"), std::nullopt);
    EXPECT_EQ(expand(hotstring, "#throw 'secretword'"), std::nullopt);
    EXPECT_EQ(expand(hotstring, "secretword 6*7"), "secretword 42");
    EXPECT_TRUE(logged->contains(LogLevel::warning, "The hotstring cannot be evaluated ->"));
    for (const auto& entry : logged->entries()) {
        EXPECT_EQ(entry.message.find("secretword"), std::string::npos) << entry.message;
        EXPECT_EQ(entry.context.find("secretword"), std::string::npos) << entry.context;
    }
}

}  // namespace
}  // namespace vandrel
