// The key path from end to end on the descriptor seams: a keyboard's events through the input backend, the
// input observer's taps and the deliverer (on the input thread, as the program wires them), the default
// layout's actions, and what the output keyboard gives applications.
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>

#include <atomic>
#include <deque>
#include <future>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "core/serial_queue.h"
#include "key_path_rig.h"

namespace vandrel {
namespace {

using testing::InputRig;
using testing::kKeyboard;
using KeyPath = testing::KeyPathRig;
using Strings = std::vector<std::string>;

Strings taps(const char* key, int times)
{
    Strings out;
    for (int i = 0; i < times; ++i) {
        out.push_back(std::string(key) + " down");
        out.push_back(std::string(key) + " up");
    }
    return out;
}

Strings operator+(Strings a, const Strings& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(KeyPath, ActionStrokesComeBeforeKeysTypedRightAfter)
{
    KeyPath path;
    // Caps+S, Caps up and X in one read: Left comes out first.
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_S);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_X);
    path.rig.pump();
    EXPECT_EQ(path.rig.output(), taps("KEY_LEFT", 1) + taps("KEY_X", 1));

    // Thirty Ups (Caps+Super+T) are written over several pauses; X typed right after waits for all of them.
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->press(kKeyboard, KEY_LEFTMETA);
    path.rig.source->tap(kKeyboard, KEY_T);
    path.rig.source->release(kKeyboard, KEY_LEFTMETA);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_X);
    path.rig.pump();
    const auto first = path.rig.rawOutput();
    EXPECT_LE(first.size(), 4 * UinputWriter::burstStrokes);
    auto rest = path.drain();
    rest.insert(rest.begin(), first.begin(), first.end());
    EXPECT_EQ(testing::describeKeys(rest), taps("KEY_UP", 30) + taps("KEY_X", 1));
}

// A reader of an input device as the kernel serves it: it keeps 64 events; a write that brings more than
// fit drops what was kept and leaves SYN_DROPPED in its place.
struct KernelReader {
    static constexpr std::size_t capacity = 64;
    std::deque<input_event> buffer;
    std::vector<input_event> got;
    int dropped = 0;

    void receive(int fd)
    {
        std::vector<input_event> packet(4096);
        for (;;) {
            const ssize_t n = ::read(fd, packet.data(), packet.size() * sizeof(input_event));
            if (n <= 0) return;
            for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof(input_event); ++i) {
                if (buffer.size() == capacity) {
                    buffer.clear();
                    buffer.push_back(testing::event(EV_SYN, SYN_DROPPED, 0));
                    ++dropped;
                }
                buffer.push_back(packet[i]);
            }
        }
    }
    void read(std::size_t count)
    {
        for (; count > 0 && !buffer.empty(); --count) {
            got.push_back(buffer.front());
            buffer.pop_front();
        }
    }
};

TEST(KeyPath, ThirtyStrokesArriveWholeAtAReaderThatReadsSixteenEventsEveryTwoMilliseconds)
{
    KeyPath path;
    std::mt19937 random(34);
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->press(kKeyboard, KEY_LEFTMETA);
    path.rig.source->tap(kKeyboard, KEY_T);
    path.rig.source->release(kKeyboard, KEY_LEFTMETA);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    KernelReader reader;
    // In 0.25 ms steps: the reader takes 16 events, works 2 ms, and waits up to 2 ms more for the processor;
    // the input thread gets it only now and then, up to 3 ms late.
    auto nextPump = path.rig.clock->now();
    auto nextRead = nextPump;
    for (int step = 0; step < 400; ++step) {
        const auto now = path.rig.clock->now();
        if (now >= nextPump) {
            path.rig.pump();
            nextPump = now + std::chrono::microseconds(250 * (1 + random() % 12));
        }
        if (now >= nextRead) {
            reader.receive(path.rig.outputTestEnd.get());
            reader.read(16);
            nextRead = now + std::chrono::milliseconds(2) + std::chrono::microseconds(250 * (random() % 9));
        }
        path.rig.clock->advanceBy(std::chrono::microseconds(250));
    }
    reader.receive(path.rig.outputTestEnd.get());
    reader.read(KernelReader::capacity);
    EXPECT_EQ(reader.dropped, 0);
    EXPECT_EQ(testing::describeKeys(reader.got), taps("KEY_UP", 30));
}

TEST(KeyPath, ThirtyStrokesArriveWholeAtASlowReaderWhileAThreadHogsTheProcessor)
{
    // The backend's thread, the reader and a thread that only computes share one processor, as on a
    // one-processor machine; the backend keeps real time.
    cpu_set_t all;
    ASSERT_EQ(::sched_getaffinity(0, sizeof all, &all), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
            break;
        }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    {
        InputRig rig(InputRig::Setup{.ownThread = true, .scheduler = SerialQueue::make("test.timer")});
        std::atomic<bool> done{false};
        std::thread hog([&done] {
            for (volatile std::uint64_t n = 0; !done.load(std::memory_order_relaxed);) n = n + 1;
        });
        std::vector<EvdevStroke> ups;
        for (int i = 0; i < 30; ++i) {
            ups.push_back({KEY_UP, true, 0});
            ups.push_back({KEY_UP, false, 0});
        }
        ASSERT_TRUE(rig.backend->post(ups));
        KernelReader reader;
        // The reader takes 16 events at a time and works 2 ms between reads.
        for (int round = 0; round < 200 && reader.got.size() < 240; ++round) {
            reader.receive(rig.outputTestEnd.get());
            reader.read(16);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        done.store(true);
        hog.join();
        EXPECT_EQ(reader.dropped, 0);
        EXPECT_EQ(testing::describeKeys(reader.got), taps("KEY_UP", 30));
    }
    ::sched_setaffinity(0, sizeof all, &all);
}

// What the desktop makes of the output keyboard: each key press with the modifiers down at that moment
// ("Ctrl+C"), and a mouse click with those down when the scenario clicks ("Ctrl+click").
struct Desktop {
    std::vector<input_event> all;
    std::set<std::uint16_t> down;
    Strings seen;

    std::string modifiers() const { return testing::heldModifiers(down); }
    static bool isModifier(std::uint16_t code)
    {
        return code == KEY_LEFTCTRL || code == KEY_RIGHTCTRL || code == KEY_LEFTALT || code == KEY_RIGHTALT ||
               code == KEY_LEFTSHIFT || code == KEY_RIGHTSHIFT || code == KEY_LEFTMETA || code == KEY_RIGHTMETA;
    }
    void take(const std::vector<input_event>& events)
    {
        all.insert(all.end(), events.begin(), events.end());
        for (const auto& ev : events) {
            if (ev.type != EV_KEY) continue;
            if (ev.value == 0) down.erase(ev.code);
            if (ev.value != 1) continue;
            down.insert(ev.code);
            if (!isModifier(ev.code) && ev.code != UinputWriter::guardKey)
                seen.push_back(modifiers() + (libevdev_event_code_get_name(EV_KEY, ev.code) + 4));
        }
    }
};

// Plays "+ctrl caps c -ctrl click" on the keyboard (+ press, - release, a plain name a tap, "click" a click of
// the mouse, "unplug" the keyboard pulled out), letting the program write everything after each step, as a person is
// slower than it.
Desktop play(KeyPath& path, const std::string& script)
{
    Desktop desktop;
    std::istringstream words(script);
    for (std::string word; words >> word;) {
        if (word == "click") {
            desktop.seen.push_back(desktop.modifiers() + "click");
            continue;
        }
        if (word == "unplug") {
            path.rig.source->unplug(kKeyboard, true);
            desktop.take(path.drain());
            continue;
        }
        const char action = word[0] == '+' || word[0] == '-' ? word[0] : 't';
        std::string name = action == 't' ? word : word.substr(1);
        name = name == "caps"    ? "capslock"
               : name == "ctrl"  ? "leftctrl"
               : name == "shift" ? "leftshift"
               : name == "super" ? "leftmeta"
               : name == "alt"   ? "leftalt"
                                 : name;
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        const int code = libevdev_event_code_from_name(EV_KEY, ("KEY_" + name).c_str());
        EXPECT_GE(code, 0) << word;
        if (action != '-') path.rig.source->press(kKeyboard, static_cast<std::uint16_t>(code));
        if (action == 't') desktop.take(path.drain());
        if (action != '+') path.rig.source->release(kKeyboard, static_cast<std::uint16_t>(code));
        desktop.take(path.drain());
    }
    return desktop;
}

TEST(KeyPath, ModifiersFollowTheHandsAroundCapsActions)
{
    const struct {
        const char* script;
        Strings seen;
    } cases[] = {
        // Ctrl held through a Caps tap (Escape), then C: a copy; a click right after the tap is a Ctrl+click.
        {"+ctrl caps c -ctrl", {"ESC", "Ctrl+C"}},
        {"+ctrl caps click -ctrl", {"ESC", "Ctrl+click"}},
        // Select left, Ctrl pressed before Caps goes up, then C: the selection is copied, not typed over.
        {"+caps j +ctrl -caps c -ctrl", {"Shift+LEFT", "Ctrl+C"}},
        // Super held through Caps+E (three Ups), then L: Super+L.
        {"+super +caps e -caps l -super", {"UP", "UP", "UP", "Super+L"}},
        // Shift pressed while Caps is held reaches the desktop when Caps goes up, for keys and clicks alike.
        {"+caps e +shift -caps a b -shift", {"UP", "Shift+A", "Shift+B"}},
        {"+caps s +shift -caps click -shift", {"LEFT", "Shift+click"}},
        // Shift let go while Caps is held is up when Caps goes up.
        {"+shift +caps -shift e -caps a", {"UP", "A"}},
        // The keyboard unplugged during a short Caps hold: no Escape, nothing left down.
        {"+ctrl +caps unplug", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        KeyPath path;
        const Desktop desktop = play(path, c.script);
        EXPECT_EQ(desktop.seen, c.seen) << ::testing::PrintToString(testing::describeKeys(desktop.all));
        EXPECT_EQ(testing::loneModifierTaps(desktop.all), Strings{});
        EXPECT_TRUE(desktop.down.empty()) << "left down: " << desktop.modifiers();
    }
}

TEST(KeyPath, ModifiersHeldBeforeCapsNeverShowAsLoneTaps)
{
    for (const std::uint16_t modifier : {KEY_LEFTMETA, KEY_LEFTALT, KEY_LEFTCTRL, KEY_LEFTSHIFT}) {
        SCOPED_TRACE(libevdev_event_code_get_name(EV_KEY, modifier));
        KeyPath path;
        path.rig.source->press(kKeyboard, modifier);
        path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
        path.rig.source->tap(kKeyboard, KEY_E);
        path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
        path.rig.source->release(kKeyboard, modifier);
        const auto out = path.drain();
        EXPECT_EQ(testing::loneModifierTaps(out), Strings{});
        // Nothing stays down.
        for (std::uint16_t code = 0; code < KEY_CNT; ++code) EXPECT_FALSE(path.rig.backend->isOutputKeyDown(code));
        // Super is the Command of the layout: Caps+Super+E is three Ups, with Super up around them.
        if (modifier == KEY_LEFTMETA) {
            Strings ups;
            for (const auto& key : testing::describeKeys(out))
                if (key.rfind("KEY_UP", 0) == 0) ups.push_back(key);
            EXPECT_EQ(ups, taps("KEY_UP", 3));
        }
    }
}

TEST(KeyPath, KeyOnlyActionsDoNotWaitForABlockedMainThread)
{
    auto main = SerialQueue::make("test.main", QueuePriority::normal);
    std::promise<void> unblock;
    std::shared_future<void> released = unblock.get_future().share();
    main->async([released] { released.wait(); });

    KeyPath path(InputRig::Setup{.ownThread = true}, main);
    ASSERT_TRUE(path.rig.source->waitForGrab(kKeyboard, true));
    // The grab lands on the input thread first; a job there runs after it.
    std::promise<void> reached;
    path.backend->inputThreadScheduler()->schedule([&reached] { reached.set_value(); });
    reached.get_future().wait();

    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_S);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    // The main thread is still blocked while Left comes out.
    std::vector<input_event> out;
    pollfd readable{path.rig.outputTestEnd.get(), POLLIN, 0};
    while (testing::describeKeys(out).size() < 2 && ::poll(&readable, 1, 10'000) == 1) {
        const auto more = path.rig.rawOutput();
        out.insert(out.end(), more.begin(), more.end());
    }
    EXPECT_EQ(testing::describeKeys(out), taps("KEY_LEFT", 1));
    unblock.set_value();
    main->sync([] { return 0; });
}

TEST(KeyPath, ARandomStreamOfTypingAndActionsLosesAndReordersNothing)
{
    KeyPath path;
    struct Combination {
        std::vector<std::uint16_t> keys;  // pressed in order inside the Caps hold, released in reverse
        const char* posted;
        int times;
    };
    const std::vector<Combination> combinations{
        {{KEY_S}, "KEY_LEFT", 1},
        {{KEY_E}, "KEY_UP", 1},
        {{KEY_D}, "KEY_DOWN", 1},
        {{KEY_F}, "KEY_RIGHT", 1},
        {{KEY_LEFTMETA, KEY_E}, "KEY_UP", 3},
        {{KEY_LEFTMETA, KEY_T}, "KEY_UP", 30},
        {{}, "KEY_ESC", 1},  // a Caps tap alone
    };
    const std::vector<std::uint16_t> letters{KEY_Q, KEY_W, KEY_Z, KEY_X, KEY_M, KEY_N, KEY_O};

    std::mt19937 random(16);
    std::vector<input_event> typed;
    Strings expected;
    const auto key = [&](std::uint16_t code, int value) {
        typed.push_back(testing::event(EV_KEY, code, value));
        typed.push_back(testing::event(EV_SYN, SYN_REPORT, 0));
    };
    std::size_t keyEvents = 0;
    while (keyEvents < 100'000) {
        if (random() % 3 == 0) {
            const auto& c = combinations[random() % combinations.size()];
            key(KEY_CAPSLOCK, 1);
            for (auto code : c.keys) key(code, 1);
            for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) key(*it, 0);
            key(KEY_CAPSLOCK, 0);
            keyEvents += 2 + 2 * c.keys.size();
            const Strings strokes = taps(c.posted, c.times);
            expected.insert(expected.end(), strokes.begin(), strokes.end());
        } else {
            const auto code = letters[random() % letters.size()];
            key(code, 1);
            key(code, 0);
            keyEvents += 2;
            expected.push_back(std::string(libevdev_event_code_get_name(EV_KEY, code)) + " down");
            expected.push_back(std::string(libevdev_event_code_get_name(EV_KEY, code)) + " up");
        }
    }

    // Written in bursts as a fast typist's keyboard gives them, read back as the loop goes.
    std::vector<input_event> out;
    const int fd = path.rig.source->testFd(kKeyboard);
    for (std::size_t at = 0; at < typed.size(); at += 32) {
        const std::vector<input_event> burst(typed.begin() + at, typed.begin() + std::min(typed.size(), at + 32));
        ASSERT_TRUE(testing::writeEvents(fd, burst));
        path.rig.pumpAfterPause();
        const auto more = path.rig.rawOutput();
        out.insert(out.end(), more.begin(), more.end());
    }
    const auto rest = path.drain();
    out.insert(out.end(), rest.begin(), rest.end());
    const Strings got = testing::describeKeys(out);
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

}  // namespace
}  // namespace vandrel
