// The hotstring replacement: how typed text splits into a kept prefix and a key, what the JavaScript
// evaluation gives, and how an evaluation that never ends is stopped.
#include "clip/hotstring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/log_capture.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

using Result = std::optional<std::string>;

struct HotstringTest : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> watchdog = rx::VirtualTimeScheduler::make();
    std::vector<std::string> messages;

    Hotstring make(Hotstring::Evaluator evaluator = {})
    {
        Hotstring::Options options;
        options.watchdogScheduler = watchdog;
        options.showError = [this](const std::string& m) { messages.push_back(m); };
        options.evaluator = std::move(evaluator);
        return Hotstring(std::move(options));
    }
};

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
        EXPECT_EQ(hotstring.multiGet(row.typed), row.result);
    }
    // One message per failed evaluation: abc, def, and the key of "##a #b".
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "\U0001F625 ReferenceError: abc is not defined");
}

TEST_F(HotstringTest, SplittingHandsTheEvaluatorTheKeyAndKeepsThePrefix)
{
    std::vector<std::string> keys;
    const Hotstring hotstring = make([&keys](const std::string& key) -> Result {
        keys.push_back(key);
        if (key == "u") return "undefined";
        if (key == "bad") return std::nullopt;
        return "<" + key + ">";
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
        EXPECT_EQ(hotstring.multiGet(row.typed), row.result);
        if (row.key)
            EXPECT_EQ(keys, std::vector<std::string>{row.key});
        else
            EXPECT_TRUE(keys.empty());
    }
}

TEST_F(HotstringTest, FixedExpansionsAreLookedUpBeforeEvaluating)
{
    int asked = 0;
    Hotstring hotstring = make([&asked](const std::string&) -> Result {
        ++asked;
        return "x";
    });
    hotstring.keyValueDict["sig"] = "Best regards";
    EXPECT_EQ(hotstring.multiGet("hello sig"), "hello Best regards");
    EXPECT_EQ(hotstring.multiGet("hello #sig"), "hello Best regards");
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
        EXPECT_EQ(hotstring.evaluate(row.expression), Result(row.text));
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(watchdog->pendingCount(), 0u) << "the watchdog of a finished evaluation is cancelled";
}

TEST_F(HotstringTest, EachEvaluationStartsCleanWithoutHostObjects)
{
    const Hotstring hotstring = make();
    EXPECT_EQ(hotstring.evaluate("var leaked = 5; leaked"), Result("5"));
    EXPECT_EQ(hotstring.evaluate("typeof leaked"), Result("undefined"));
    EXPECT_EQ(hotstring.evaluate("Object.prototype.x = 1; ({}).x"), Result("1"));
    EXPECT_EQ(hotstring.evaluate("({}).x"), Result("undefined"));
    for (const char* name : {"console", "Qt", "print", "gc", "XMLHttpRequest", "require", "process", "qsTr"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(hotstring.evaluate(std::string("typeof ") + name), Result("undefined"));
    }
}

TEST_F(HotstringTest, ErrorsAreShownAndGiveNoValue)
{
    const Hotstring hotstring = make();
    EXPECT_EQ(hotstring.evaluate("abc"), std::nullopt);
    EXPECT_EQ(hotstring.jsEval("abc"), "");
    EXPECT_EQ(hotstring.evaluate("throw 'plain'"), std::nullopt);
    EXPECT_EQ(hotstring.evaluate("1}"), std::nullopt);                              // a syntax error
    EXPECT_EQ(hotstring.evaluate("1} catch(e) {} {"), std::nullopt);                // breaking out of the wrapper
    EXPECT_EQ(hotstring.evaluate("throw {toString() { throw 1 }}"), std::nullopt);  // even from the handler
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0], "\U0001F625 ReferenceError: abc is not defined");
    EXPECT_EQ(messages[2], "\U0001F625 plain");
    EXPECT_EQ(messages[3].rfind("\U0001F625 SyntaxError", 0), 0u) << messages[3];
}

TEST_F(HotstringTest, ExpressionsOverTheCharacterLimitAreRefused)
{
    const Hotstring hotstring = make();
    const std::string longest = std::string(Hotstring::kExpressionLimit - 1, ' ') + "7";
    EXPECT_EQ(hotstring.evaluate(longest), Result("7"));
    EXPECT_EQ(hotstring.evaluate(" " + longest), std::nullopt);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "\U0001F625 The expression is longer than 1000 characters");

    // Characters, not bytes: 998 two-byte letters in quotes are 1000 characters.
    std::string letters = "'";
    for (std::size_t i = 0; i < Hotstring::kExpressionLimit - 2; ++i) letters += "\u00e9";
    letters += "'";
    EXPECT_EQ(hotstring.evaluate(letters + ".length"), std::nullopt);
    EXPECT_EQ(hotstring.evaluate(letters).value_or("").size(), 2 * (Hotstring::kExpressionLimit - 2));
}

// Evaluates on a thread of its own while the test moves the watchdog's clock.
struct Evaluation {
    explicit Evaluation(const Hotstring& hotstring, std::string expression)
        : thread([this, &hotstring, expression] {
              result = hotstring.evaluate(expression);
              done.store(true);
          })
    {
    }
    ~Evaluation()
    {
        if (thread.joinable()) thread.join();
    }
    Result result;
    std::atomic<bool> done{false};
    std::thread thread;
};

TEST_F(HotstringTest, AnEndlessEvaluationIsStoppedAtTheLimit)
{
    const Hotstring hotstring = make();
    for (const char* endless :
         {"while(true){}", "try { for(;;){} } catch(e) { 'caught' }", "(function f() { for (;;) {} })()"}) {
        SCOPED_TRACE(endless);
        messages.clear();
        Evaluation evaluation(hotstring, endless);
        while (watchdog->pendingCount() == 0) std::this_thread::yield();  // the evaluation is under way

        watchdog->advanceBy(Hotstring::kEvaluationLimit - std::chrono::milliseconds(1));
        EXPECT_FALSE(evaluation.done.load());
        watchdog->advanceBy(std::chrono::milliseconds(1));
        evaluation.thread.join();
        EXPECT_EQ(evaluation.result, std::nullopt);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "\U0001F625 The expression ran longer than 500 ms and was stopped");
    }
    // The next evaluation runs normally.
    EXPECT_EQ(hotstring.evaluate("6*7"), Result("42"));
}

}  // namespace
}  // namespace vandrel
