// The desktop suite's test-side pieces, on the host: the probe's line protocol, marked texts, the X key log's
// lone taps, and the client over a real Unix socket with a stand-in probe.
#include "harness/probe_client.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "harness/probe_protocol.h"
#include "harness/x_key_log.h"

namespace vandrel::vmtest {
namespace {

using namespace std::chrono_literals;

TEST(ProbeProtocol, EscapedTextsStayOnOneLineAndComeBackWhole)
{
    const std::string text = "a\\b\nc\td\r e\\n";
    const std::string escaped = escapeLine(text);
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    EXPECT_EQ(escaped, "a\\\\b\\nc\\td\\r e\\\\n");
    EXPECT_EQ(unescapeLine(escaped), text);
    // A dangling or unknown escape is no text.
    EXPECT_EQ(unescapeLine("ab\\"), std::nullopt);
    EXPECT_EQ(unescapeLine("a\\qb"), std::nullopt);
}

TEST(ProbeProtocol, FieldsBeforeTheTextAreFoundAndTheTextRunsToTheEnd)
{
    const std::string reply = "focus=edit active=1 cursor=12 text=one cursor=3 text=two  spaced";
    EXPECT_EQ(replyField(reply, "focus"), "edit");
    EXPECT_EQ(replyField(reply, "cursor"), "12");
    EXPECT_EQ(replyField(reply, "text"), "one cursor=3 text=two  spaced");
    EXPECT_EQ(replyField(reply, "anchor"), std::nullopt);
    // A field name that is only the start of another is not that field.
    EXPECT_EQ(replyField("activeness=2 active=1", "active"), "1");
    EXPECT_EQ(replyField("text=", "text"), "");
    EXPECT_EQ(replyField("cursor=1", "text"), std::nullopt);
}

TEST(MarkedText, CursorAndSelectionReadAndPrintBothWays)
{
    const TextState plain = TextState::marked("one |two");
    EXPECT_EQ(plain, (TextState{"one two", 4, 4}));
    EXPECT_EQ(plain.toMarked(), "one |two");

    const TextState forward = TextState::marked("one ^two| three");
    EXPECT_EQ(forward, (TextState{"one two three", 4, 7}));
    EXPECT_EQ(forward.toMarked(), "one ^two| three");

    const TextState backward = TextState::marked("a|b\nc^d");
    EXPECT_EQ(backward, (TextState{"ab\ncd", 4, 1}));
    EXPECT_EQ(backward.toMarked(), "a|b\nc^d");

    EXPECT_EQ(TextState::marked("|"), (TextState{"", 0, 0}));
    EXPECT_EQ(TextState::marked("end|"), (TextState{"end", 3, 3}));
    // A report with the cursor past the text still prints, and says where.
    EXPECT_EQ((TextState{"ab", 9, 9}).toMarked(), "ab|(9)");
}

TEST(XKeyLog, AModifierPressedAndReleasedWithNothingBetweenIsALoneTap)
{
    EXPECT_EQ(loneModifierTaps({"+Super_L", "-Super_L", "+Up", "-Up", "+Super_L", "-Super_L"}),
              (std::vector<std::string>{"Super_L", "Super_L"}));
    EXPECT_EQ(loneModifierTaps({"+Alt_L", "+Escape", "-Escape", "-Alt_L"}), std::vector<std::string>{});
    // Something else between, even another modifier, makes it no lone tap.
    EXPECT_EQ(loneModifierTaps({"+Control_L", "+Shift_L", "-Control_L", "-Shift_L"}), std::vector<std::string>{});
    // Only modifiers count, and only a release of the same key.
    EXPECT_EQ(loneModifierTaps({"+a", "-a", "+Alt_L", "-Alt_R", "+Shift_R", "-Shift_R"}),
              (std::vector<std::string>{"Shift_R"}));
    EXPECT_EQ(loneModifierTaps({"-Super_L", "+Super_L"}), std::vector<std::string>{});
    EXPECT_EQ(loneModifierTaps({}), std::vector<std::string>{});
}

TEST(XKeyLog, WithoutKeyDropsOnlyThatKeysEntries)
{
    EXPECT_EQ(withoutKey({"+F12", "+a", "-F12", "-a", "+F1", "-F1"}, "F12"),
              (std::vector<std::string>{"+a", "-a", "+F1", "-F1"}));
}

// A stand-in for the probe application: connects to the client's socket, says hello, then answers each
// request line with the reply the test gives for it.
class FakeProbe {
public:
    FakeProbe(const std::string& path, std::vector<std::string> replies, bool hello = true)
        : thread_([path, replies = std::move(replies), hello] {
              const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
              sockaddr_un address{};
              address.sun_family = AF_UNIX;
              path.copy(address.sun_path, path.size());
              if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
              const auto say = [fd](const std::string& line) {
                  // Split in two writes: the client must put lines together.
                  const std::size_t half = line.size() / 2;
                  (void)!::write(fd, line.data(), half);
                  (void)!::write(fd, line.data() + half, line.size() - half);
              };
              say(hello ? "hello 42\n" : "howdy\n");
              std::string pending;
              std::size_t next = 0;
              char buffer[256];
              for (ssize_t n; next < replies.size() && (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
                  pending.append(buffer, static_cast<std::size_t>(n));
                  for (std::size_t end; next < replies.size() && (end = pending.find('\n')) != std::string::npos;) {
                      pending.erase(0, end + 1);
                      say(replies[next++] + "\n");
                  }
              }
              ::close(fd);
          })
    {
    }
    ~FakeProbe() { thread_.join(); }

private:
    std::thread thread_;
};

class ProbeClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char folder[] = "/tmp/vandrel-probe-client-test.XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    ProbeClient listen()
    {
        Result<ProbeClient> client = ProbeClient::listen(socketPath());
        EXPECT_TRUE(client) << client.error();
        return std::move(client).value();
    }
    std::string socketPath() const { return folder_ + "/probe.sock"; }

    std::string folder_;
};

TEST_F(ProbeClientTest, StatesKeysAndErrorsComeBackAsTheProbeSentThem)
{
    ProbeClient client = listen();
    FakeProbe probe(socketPath(),
                    {"ok focus=line active=1 xfocus=0 sentinels=3 quits=0 anchor=5 cursor=2 text=a b\\nc d",
                     "ok +Super_L -Super_L +Up", "error no focus: active=0", "ok focus=edit text=x"});
    ASSERT_TRUE(client.accept(5000ms));

    const Result<ProbeState> state = client.state(ProbeWidget::line);
    ASSERT_TRUE(state) << state.error();
    EXPECT_EQ(state->text, (TextState{"a b\nc d", 5, 2}));
    EXPECT_EQ(state->focus, "line");
    EXPECT_TRUE(state->active);
    EXPECT_FALSE(state->xFocus);
    EXPECT_EQ(state->sentinels, 3);

    const Result<std::vector<std::string>> keys = client.keys();
    ASSERT_TRUE(keys) << keys.error();
    EXPECT_EQ(*keys, (std::vector<std::string>{"+Super_L", "-Super_L", "+Up"}));

    const Status focus = client.focus(ProbeWidget::edit);
    ASSERT_FALSE(focus);
    EXPECT_NE(focus.error().find("no focus: active=0"), std::string::npos) << focus.error();

    // A state with fields missing is reported, not read as zeros.
    const Result<ProbeState> partial = client.state(ProbeWidget::edit);
    ASSERT_FALSE(partial);
    EXPECT_NE(partial.error().find("cannot read"), std::string::npos) << partial.error();
}

TEST_F(ProbeClientTest, AProbeThatSaysNoHelloOrNothingMoreFailsInTime)
{
    {
        ProbeClient client = listen();
        FakeProbe probe(socketPath(), {}, /*hello=*/false);
        const Status accepted = client.accept(5000ms);
        ASSERT_FALSE(accepted);
        EXPECT_NE(accepted.error().find("howdy"), std::string::npos) << accepted.error();
    }
    std::filesystem::remove(socketPath());
    ProbeClient client = listen();
    // No probe at all: the wait ends.
    EXPECT_FALSE(client.accept(50ms));
    // The probe answers nothing and goes away: the request says so instead of hanging.
    {
        FakeProbe probe(socketPath(), {});
        ASSERT_TRUE(client.accept(5000ms));
    }
    const Result<std::string> reply = client.request("keys", 2000ms);
    ASSERT_FALSE(reply);
    EXPECT_NE(reply.error().find("probe"), std::string::npos) << reply.error();
}

}  // namespace
}  // namespace vandrel::vmtest
