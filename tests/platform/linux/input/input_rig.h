// A started input backend on fake keyboards and a fake output keyboard, on virtual time; the test drives
// the loop with pump() unless it asks for the backend's own thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input_fake_devices.h"
#include "platform/linux/input/input_backend.h"
#include "platform/linux/input/uinput_writer.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel::testing {

inline const std::string kKeyboard = "/dev/input/event3";

struct InputRig {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<FakeKeyboardSource> source = std::make_shared<FakeKeyboardSource>();
    InputFd outputTestEnd;
    std::unique_ptr<InputBackend> backend;

    struct Setup {
        bool withOutput = true;
        bool ownThread = false;
        bool keyboard = true;
        std::shared_ptr<std::atomic<bool>> passThrough{};
        std::shared_ptr<std::atomic<bool>> sessionActive{};
        // More devices present before the backend starts.
        std::function<void(FakeKeyboardSource&)> devices{};
        // The backend's clock and timers; null: the virtual clock.
        rx::SchedulerPtr scheduler{};
    };

    InputRig() : InputRig(Setup{}) {}
    explicit InputRig(Setup setup)
    {
        if (setup.keyboard) source->addNode(kKeyboard);
        if (setup.devices) setup.devices(*source);
        InputBackend::Options options;
        options.source = source;
        options.scheduler = setup.scheduler ? setup.scheduler : rx::SchedulerPtr(clock);
        options.ownThread = setup.ownThread;
        options.passThrough = std::move(setup.passThrough);
        options.sessionActive = std::move(setup.sessionActive);
        if (setup.withOutput) {
            // Each output keyboard made is a new pair; outputTestEnd is the latest one's end.
            options.makeOutput = [this]() -> std::unique_ptr<InputOutputDevice> {
                auto [backendEnd, testEnd] = makeSocketPair();
                setNonBlocking(testEnd.get());
                outputTestEnd = std::move(testEnd);
                return std::make_unique<FakeOutput>(std::move(backendEnd));
            };
        }
        backend = std::make_unique<InputBackend>(std::move(options));
        backend->start();
    }

    void pump() { backend->pump(0); }
    // After the pause that lets the next stroke of a long action go.
    void pumpAfterPause()
    {
        clock->advanceBy(UinputWriter::strokeInterval);
        pump();
    }
    // Key events written to the output keyboard since the last call, described.
    std::vector<std::string> output() { return describeKeys(readEvents(outputTestEnd.get())); }
    std::vector<input_event> rawOutput() { return readEvents(outputTestEnd.get()); }

    // A tap of every type that records what it sees and answers with decide (pass when null).
    struct Recorder {
        std::vector<KeyEvent> seen;
        std::function<TapResult(KeyEvent&)> decide;
        std::vector<std::shared_ptr<EventTap>> taps;
    };
    std::shared_ptr<Recorder> record(std::function<TapResult(KeyEvent&)> decide = nullptr)
    {
        auto recorder = std::make_shared<Recorder>();
        recorder->decide = std::move(decide);
        for (auto type : {KeyEventType::keyDown, KeyEventType::keyUp, KeyEventType::flagsChanged}) {
            recorder->taps.push_back(backend->createTap(
                type,
                [r = recorder.get()](KeyEvent& e) {
                    r->seen.push_back(e);
                    return r->decide ? r->decide(e) : TapResult::pass;
                },
                TapPlacement::headInsert));
        }
        pump();
        return recorder;
    }
};

}  // namespace vandrel::testing
