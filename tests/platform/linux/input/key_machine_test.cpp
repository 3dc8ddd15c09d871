// The key machine in scenarios, with no device, loop or thread: keys typed on one or two keyboards go through
// the machine, the engine's taps and delivery (the default layout, as the program wires them) and the output
// keyboard's writer; a row says what the desktop makes of the output.
//
// A row's keys: "+caps" presses, "-caps" releases, "j" taps, "a*" is an auto-repeat of a held key, "2:" before
// a key puts it on the second keyboard. Each key is a loop turn of its own, after which the program writes
// everything, as a person is slower than it; keys in "[ ]" waited together (the program was busy or stopped):
// they are one turn, stamped in the order written. "wait:300" lets 300 ms pass, "click" clicks the mouse,
// "unplug" pulls the first keyboard out, "locked" and "unlocked" lock and unlock the session. What the desktop
// makes of it: each key press with the modifiers down at that moment ("Shift+LEFT"), and each click.
// Every row also checks that no modifier shows as a lone tap the user did not type, that nothing is left down,
// and that no write puts more than 32 events before a reader.
#include "platform/linux/input/key_machine.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "catalogue/build_in_vd_key_scheme.h"
#include "engine/event_keeper.h"
#include "engine/input_observer.h"
#include "engine/key_event_deliver.h"
#include "input_fake_devices.h"
#include "platform/linux/input/output_keyboard.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

// The engine's taps on the machine; what actions post goes to the writer as the input thread posts it, and the
// Caps Lock lock is turned over by typing Caps Lock there.
class MachinePlatform final : public Platform, public EventTapService, public HidKeyboard {
public:
    MachinePlatform(std::shared_ptr<TapHub> hub, KeyMachine& machine, UinputWriter& writer,
                    std::shared_ptr<SimPlatform> sim)
        : hub_(std::move(hub)), machine_(machine), writer_(writer), sim_(std::move(sim))
    {
    }
    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback, TapPlacement placement) override
    {
        return hub_->add(type, std::move(callback), placement);
    }
    bool postEvent(const KeyEvent& event, EventTapLocation location) override
    {
        KeyEvent copy = event;
        if (location == EventTapLocation::hid && machine_.dispatch(copy) == TapResult::swallow) return true;
        const auto strokes = location == EventTapLocation::hid ? PostingTranslator::translateRecorded(copy)
                                                               : PostingTranslator::translate(copy, false);
        if (!strokes) return false;
        for (const auto& stroke : *strokes) writer_.postStroke(stroke);
        return true;
    }
    void setUserKeyMapping(const std::vector<KeyMappingEntry>&) override {}
    std::optional<bool> capsLockLockState() override { return machine_.capsLock(); }
    bool setCapsLockLockState(bool on) override { return on == machine_.capsLock() || toggleCapsLockLockState(); }
    bool toggleCapsLockLockState() override
    {
        writer_.postStroke({KEY_CAPSLOCK, true, 0});
        writer_.postStroke({KEY_CAPSLOCK, false, 0});
        return true;
    }
    bool startObservingKeys() override { return true; }
    rx::Observable<HidKeyReport> keyReports() override { return machine_.reports(); }

    EventTapService& eventTaps() override { return *this; }
    HidKeyboard& hidKeyboard() override { return *this; }
    Workspace& workspace() override { return sim_->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim_->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim_->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim_->pasteboards(); }
    bool isInputAccessTrusted(bool) override { return true; }

private:
    const std::shared_ptr<TapHub> hub_;
    KeyMachine& machine_;
    UinputWriter& writer_;
    const std::shared_ptr<SimPlatform> sim_;
};

// What the desktop makes of the output keyboard, read one write at a time.
struct Desktop {
    std::vector<input_event> all;
    std::set<std::uint16_t> down;
    std::vector<std::string> seen;
    std::size_t largestWrite = 0;

    std::string modifiers() const { return testing::heldModifiers(down); }
    void read(int fd)
    {
        std::vector<input_event> packet(256);
        for (;;) {
            const ssize_t n = ::read(fd, packet.data(), packet.size() * sizeof(input_event));
            if (n <= 0) return;
            const auto count = static_cast<std::size_t>(n) / sizeof(input_event);
            largestWrite = std::max(largestWrite, count);
            for (std::size_t i = 0; i < count; ++i) take(packet[i]);
        }
    }
    void take(const input_event& ev)
    {
        all.push_back(ev);
        if (ev.type != EV_KEY) return;
        if (ev.value == 0) down.erase(ev.code);
        if (ev.value != 1) return;
        down.insert(ev.code);
        static const std::set<int> kModifiers{KEY_LEFTCTRL,  KEY_RIGHTCTRL,  KEY_LEFTALT,  KEY_RIGHTALT,
                                              KEY_LEFTSHIFT, KEY_RIGHTSHIFT, KEY_LEFTMETA, KEY_RIGHTMETA};
        if (!kModifiers.contains(ev.code) && ev.code != UinputWriter::guardKey)
            seen.push_back(modifiers() + (libevdev_event_code_get_name(EV_KEY, ev.code) + 4));
    }
};

struct MachineRig {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<TapHub> hub = TapHub::make();
    KeyMachine machine{hub};
    std::pair<InputFd, InputFd> ends = testing::makeSocketPair();
    OutputKeyboard output{std::make_unique<testing::FakeOutput>(std::move(ends.first))};
    std::shared_ptr<Platform> platform;
    std::unique_ptr<PlatformInstallation> installed;
    std::shared_ptr<VandrelState> state = std::make_shared<VandrelState>(clock);
    std::shared_ptr<InputObserver> observer;
    std::shared_ptr<KeyEventDeliver> deliver;
    std::array<KeyMachine::Keys, 2> keyboards;
    bool locked = false;
    Desktop desktop;

    MachineRig()
    {
        testing::setNonBlocking(ends.second.get());
        machine.setWriter(&output.writer());
        machine.setMapping({{57, 80}});  // Caps Lock sends F19, as the program maps it
        platform = std::make_shared<MachinePlatform>(hub, machine, output.writer(), SimPlatform::make(clock));
        installed = std::make_unique<PlatformInstallation>(platform);
        const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
        const EventKeeperPtr table =
            EventKeeper::withoutConflicting(std::make_shared<const EventKeeper>(*scheme), scheme);
        observer = InputObserver::make({platform, state, clock, clock, nullptr});
        deliver = KeyEventDeliver::make({observer, state, [table] { return table; }, clock, clock, true});
        deliver->install();
        observer->startMonitoring();
        for (auto& keys : keyboards) keys.grabbed.store(true);
    }
    ~MachineRig() { observer.reset(); }

    // One loop turn of these keyboard events, each keyboard's in the order given.
    void turn(const std::array<std::vector<input_event>, 2>& events)
    {
        machine.beginTurn(locked);
        std::vector<KeyboardRun<KeyMachine::Keys>> runs;
        for (std::size_t k = 0; k < 2; ++k)
            if (!events[k].empty()) runs.push_back({&keyboards[k], events[k]});
        forEachInTimeOrder<KeyMachine::Keys>(runs, [this](KeyMachine::Keys& keys, const input_event& ev) {
            if (ev.type == EV_KEY) machine.key(keys, {ev.code, ev.value, clock->now()});
        });
        output.flush(clock->now());
        desktop.read(ends.second.get());
    }
    // Lets the program write everything, a pause at a time, until the output has been quiet for a while.
    void settle()
    {
        for (int quiet = 0; quiet < 3;) {
            const std::size_t before = desktop.all.size();
            clock->advanceBy(UinputWriter::strokeInterval);
            output.flush(clock->now());
            desktop.read(ends.second.get());
            quiet = desktop.all.size() == before ? quiet + 1 : 0;
        }
    }
    void unplug()
    {
        machine.beginTurn(locked);
        for (std::uint16_t code = 0; code < KEY_CNT; ++code)
            if (keyboards[0].raw[code] || keyboards[0].held[code].valid)
                machine.key(keyboards[0], {code, 0, clock->now(), true});
        keyboards[0].grabbed.store(false);
        settle();
    }
};

// The keys of a token ("+caps", "2:j", "a*") as events on its keyboard, stamped `at` microseconds.
std::pair<std::size_t, std::vector<input_event>> keysOf(std::string word, int at)
{
    std::size_t keyboard = 0;
    if (word.rfind("2:", 0) == 0) {
        keyboard = 1;
        word = word.substr(2);
    }
    const char action = word[0] == '+' || word[0] == '-' ? word[0] : word.back() == '*' ? '*' : 't';
    std::string name = word.substr(action == '+' || action == '-' ? 1 : 0, word.size() - (action == '*' ? 1 : 0));
    static const std::map<std::string, std::string> kAliases{
        {"caps", "capslock"}, {"ctrl", "leftctrl"}, {"shift", "leftshift"}, {"super", "leftmeta"}, {"alt", "leftalt"}};
    if (const auto alias = kAliases.find(name); alias != kAliases.end()) name = alias->second;
    std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    const int code = libevdev_event_code_from_name(EV_KEY, ("KEY_" + name).c_str());
    EXPECT_GE(code, 0) << word;
    std::vector<input_event> events;
    const auto add = [&](int value) {
        for (auto ev :
             {testing::event(EV_KEY, static_cast<std::uint16_t>(code), value), testing::event(EV_SYN, SYN_REPORT, 0)}) {
            ev.input_event_usec = at++;
            events.push_back(ev);
        }
    };
    if (action != '-') add(action == '*' ? 2 : 1);
    if (action == 't') add(0);
    if (action == '-') add(0);
    return {keyboard, events};
}

Desktop play(MachineRig& rig, const std::string& script)
{
    std::istringstream words(script);
    std::array<std::vector<input_event>, 2> waiting;
    bool together = false;
    int at = 0;
    for (std::string word; words >> word;) {
        if (word == "[" || word == "]") {
            together = word == "[";
            if (!together) rig.turn(std::exchange(waiting, {}));
            if (!together) rig.settle();
        } else if (word == "click") {
            rig.desktop.seen.push_back(rig.desktop.modifiers() + "click");
        } else if (word == "unplug") {
            rig.unplug();
        } else if (word == "locked" || word == "unlocked") {
            rig.locked = word == "locked";
        } else if (word.rfind("wait:", 0) == 0) {
            rig.clock->advanceBy(std::chrono::milliseconds(std::stoi(word.substr(5))));
        } else {
            auto [keyboard, events] = keysOf(word, at += 10);
            waiting[keyboard].insert(waiting[keyboard].end(), events.begin(), events.end());
            if (together) continue;
            rig.turn(std::exchange(waiting, {}));
            rig.settle();
        }
    }
    return rig.desktop;
}

std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

std::string joined(const std::vector<std::string>& seen)
{
    std::string out;
    for (const auto& s : seen) out += (out.empty() ? "" : " ") + s;
    return out;
}

TEST(KeyMachine, Scenarios)
{
    const struct {
        std::string keys;
        std::string desktop;
    } rows[] = {
        // Typing without Caps passes; keys the program has no name for pass unseen.
        {"a +shift b -shift print", "A Shift+B PRINT"},
        // A Caps tap is Escape; Shift+Caps toggles the lock; a hold with another key, or held long, is no tap.
        {"caps x", "ESC X"},
        {"+caps caps* caps* -caps", "ESC"},
        {"+shift caps -shift x", "CAPSLOCK X"},
        {"+caps z -caps x", "X"},
        {"+shift +caps z -caps -shift x", "X"},
        {"+caps shift -caps x", "X"},
        {"+caps wait:300 -caps x", "X"},
        // Caps combinations, and a key pressed before Caps whose release still reaches applications.
        {"+caps +j -j -caps", "Shift+LEFT"},
        {"+caps e -caps", "UP"},
        {"+a +caps -a -caps", "A ESC"},
        // Modifiers follow the hands around Caps actions.
        {"+ctrl caps c -ctrl", "ESC Ctrl+C"},
        {"+ctrl caps click -ctrl", "ESC Ctrl+click"},
        {"+caps j +ctrl -caps c -ctrl", "Shift+LEFT Ctrl+C"},
        {"+super +caps e -caps l -super", "UP UP UP Super+L"},
        {"+caps e +shift -caps a b -shift", "UP Shift+A Shift+B"},
        {"+caps s +shift -caps click -shift", "LEFT Shift+click"},
        {"+shift +caps -shift e -caps a", "UP A"},
        {"+alt +caps e -caps -alt", ""},
        {"+ctrl +caps unplug", ""},
        // An action's strokes come before keys typed right after it, however many.
        {"[ +caps s -caps x ]", "LEFT X"},
        {"[ +caps +super t -super -caps x ]", repeated("UP ", 30) + "X"},
        // Two keyboards are one pair of hands, also when their keys waited together.
        {"+caps 2:d -caps", "DOWN"},
        {"[ +caps 2:d -caps ]", "DOWN"},
        {"[ 2:+caps d 2:-caps ]", "DOWN"},
        {"[ 2:+caps +d ] [ -d 2:-caps ]", "DOWN"},
        // Fifteen keys on each keyboard waited while the program was stopped: 120 events, all in order.
        {"[ " + repeated("q 2:w ", 15) + "]", repeated("Q W ", 14) + "Q W"},
        // A locked session gets the real keys: Caps Lock is Caps Lock, nothing is an action.
        {"locked +caps j -caps unlocked caps", "CAPSLOCK J ESC"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keys);
        MachineRig rig;
        const Desktop desktop = play(rig, row.keys);
        EXPECT_EQ(joined(desktop.seen), row.desktop) << ::testing::PrintToString(testing::describeKeys(desktop.all));
        EXPECT_EQ(testing::loneModifierTaps(desktop.all), std::vector<std::string>{});
        EXPECT_TRUE(desktop.down.empty()) << "left down: " << desktop.modifiers();
        EXPECT_LE(desktop.largestWrite, UinputWriter::maxEventsPerWrite);
    }
}

}  // namespace
}  // namespace vandrel
