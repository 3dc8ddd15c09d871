// The hotstring service over the simulated desktop on virtual time: the strokes it posts, how it reads the
// copied text past the clip history, and how every read ends: conveyor back, fast polling off, the user's
// clipboard put back, no selection left behind.
#include "clip/hotstring_service.h"

#include <gtest/gtest.h>

#include "clip/clip_rig.h"
#include "clip/clip_utils.h"
#include "core/log_capture.h"
#include "platform/sim/sim_keyboard.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using test::ClipRig;
using test::textItem;

class HotstringServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Answers at once, as the evaluator would for these keys; an error names the key.
        Hotstring::Options evaluator;
        evaluator.evaluator = [](const std::string& key, std::function<void(Hotstring::Evaluation)> done) {
            if (key == "12*3") return done({"36", {}, {}});
            if (key == "void(0)") return done({"undefined", {}, {}});
            done({std::nullopt, "ReferenceError: " + key + " is not defined", "ReferenceError"});
        };
        evaluator.showError = [this](const std::string& message) { messages.push_back(message); };

        HotstringService::Options options;
        options.clipService = rig.service;
        options.pasteService = PasteService::make(rig.pasteOptions([this](const VDActionPtr& s) { onStroke(s); }));
        options.hotstring = std::make_shared<Hotstring>(evaluator);
        options.globalScheduler = rig.clock;
        options.clipScheduler = rig.clock;
        options.postKeys = [this](const VDActionPtr& stroke) { onStroke(stroke); };
        options.restoreSystemClipboard = [this](rx::Duration wait, std::function<void()> callback) {
            restores.push_back({wait, std::move(callback)});
        };
        options.terminalLikeFrontmost = [this] { return terminal; };
        service = HotstringService::make(options);

        rig.copyAndPoll("the user's own");
        rig.clips.clear();
        rig.copies.clear();
    }

    // The frontmost application: it selects, copies what is set in `copied`, and pastes.
    void onStroke(const VDActionPtr& stroke)
    {
        if (stroke == ClipUtils::shiftCmdLeft()) {
            strokes.push_back("select");
        } else if (stroke == ClipUtils::cmdC()) {
            strokes.push_back("copy");
            if (!copied.empty()) rig.own(copied);
        } else if (stroke == ClipUtils::cmdV()) {
            strokes.push_back("paste");
            pasted.push_back(rig.general().string(PasteboardTypes::string).value_or("<no text>"));
        } else if (stroke == HotstringService::collapseSelection()) {
            strokes.push_back("right");
        } else {
            strokes.push_back("?");
        }
    }
    void selectionIs(const std::string& text) { copied = {textItem(text)}; }

    StatusActions recorder()
    {
        return {[this](const std::string& text) { calls.push_back("success: " + text); },
                [this] { calls.push_back("failure"); }, [this] { calls.push_back("finally"); }};
    }

    // The capture service is back on its own conveyor at normal polling.
    void expectCaptureAsAtRest()
    {
        EXPECT_EQ(rig.service->activeClipConveyor.value(), rig.service->clipConveyor());
        EXPECT_FALSE(rig.service->isOverload.value());
    }

    ClipRig rig;
    test::ScopedLogCapture logged;
    std::shared_ptr<HotstringService> service;
    std::vector<PasteboardItem> copied;
    std::optional<std::string> terminal;
    Strings strokes, pasted, calls, messages;
    struct Restore {
        rx::Duration wait;
        std::function<void()> callback;
    };
    std::vector<Restore> restores;
};

TEST_F(HotstringServiceTest, AReadSelectsCopiesAndHandsOverTheTextWithoutMakingAClip)
{
    selectionIs("12*3 =");
    service->getTextBeforeCursorThen(recorder());
    EXPECT_EQ(strokes, Strings{"select"});
    rig.advance(49);
    EXPECT_EQ(strokes, Strings{"select"});
    rig.advance(1);
    EXPECT_EQ(strokes, (Strings{"select", "copy"}));
    EXPECT_EQ(rig.service->activeClipConveyor.value(), service->clipConveyor());
    EXPECT_TRUE(rig.service->isOverload.value());

    rig.advance(10);  // fast polling sees the copy within milliseconds
    EXPECT_EQ(calls, (Strings{"success: 12*3 =", "finally"}));
    expectCaptureAsAtRest();
    ASSERT_EQ(restores.size(), 1u);
    EXPECT_EQ(restores[0].wait, 400ms);
    EXPECT_TRUE(logged->contains(LogLevel::info, "Start to restore system clipboard"));

    rig.advance(1000);
    EXPECT_EQ(calls.size(), 2u) << "the time limit of a finished read does nothing";
    EXPECT_TRUE(rig.copies.empty()) << "the copy never reached the clip history";
    EXPECT_TRUE(rig.clips.empty());
}

TEST_F(HotstringServiceTest, ACopyWithoutTextFails)
{
    PasteboardItem image;
    image.setData(PasteboardTypes::png, {1, 2, 3});
    for (const auto& items : {std::vector<PasteboardItem>{image}, std::vector<PasteboardItem>{textItem("")}}) {
        calls.clear();
        copied = items;
        service->getTextBeforeCursorThen(recorder());
        rig.advance(60);
        EXPECT_EQ(calls, (Strings{"failure", "finally"}));
        expectCaptureAsAtRest();
    }
    EXPECT_TRUE(logged->contains(LogLevel::warning, "Get plain text fail or plainText is ''"));
}

TEST_F(HotstringServiceTest, NothingCopiedInTimeStillEndsTheReadAsAFailure)
{
    service->getTextBeforeCursorThen(recorder());  // the application ignores the copy key
    rig.advance(50 + 499);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(rig.service->activeClipConveyor.value(), service->clipConveyor());
    rig.advance(1);
    EXPECT_EQ(calls, (Strings{"failure", "finally"}));
    expectCaptureAsAtRest();
    EXPECT_EQ(restores.size(), 1u);

    // The capture service files the next copy as usual.
    rig.copyAndPoll("later");
    EXPECT_EQ(rig.texts(), Strings{"later"});
}

TEST_F(HotstringServiceTest, ARequestDuringAReadDoesNothingAtAll)
{
    selectionIs("first");
    service->getTextBeforeCursorThen(recorder());
    rig.advance(20);
    service->getTextBeforeCursorThen(recorder());
    EXPECT_EQ(strokes, Strings{"select"}) << "the first read's selection is left alone";
    EXPECT_TRUE(logged->contains(LogLevel::debug, "Switch Fail"));
    rig.advance(100);
    EXPECT_EQ(calls, (Strings{"success: first", "finally"}));
    EXPECT_EQ(strokes, (Strings{"select", "copy"}));

    // Once the read has ended, the next one runs.
    selectionIs("second");
    service->getTextBeforeCursorThen(recorder());
    rig.advance(100);
    EXPECT_EQ(calls, (Strings{"success: first", "finally", "success: second", "finally"}));
}

TEST_F(HotstringServiceTest, AReadThatCannotTakeTheConveyorFailsWithoutCopying)
{
    const auto restoreOther = rig.service->switchConveyorTo(ClipConveyor::make());
    service->getSeletingStringThen(recorder(), true);
    EXPECT_EQ(calls, Strings{"failure"});
    EXPECT_TRUE(strokes.empty());
    EXPECT_TRUE(restores.empty());
    EXPECT_TRUE(logged->contains(LogLevel::debug, "Switch Fail"));
    restoreOther();
}

TEST_F(HotstringServiceTest, AStreamErrorStillSwitchesBack)
{
    service->getSeletingStringThen(recorder(), true);
    service->clipConveyor()->pasteboardItemsConveyor.onError(std::make_exception_ptr(std::runtime_error("gone")));
    EXPECT_EQ(calls, (Strings{"failure", "finally"}));
    expectCaptureAsAtRest();
    EXPECT_EQ(restores.size(), 1u);
    EXPECT_TRUE(logged->contains(LogLevel::warning, "Hotstring get string fail ->"));
}

TEST_F(HotstringServiceTest, TerminalLikeApplicationsAreLeftAlone)
{
    terminal = "xterm";
    selectionIs("12*3 =");
    service->expandHotstring();
    rig.advance(1000);
    EXPECT_TRUE(strokes.empty());
    EXPECT_TRUE(restores.empty());
    expectCaptureAsAtRest();
    bool said = false;
    for (const auto& e : logged->entries()) said |= e.level == LogLevel::info && e.context == "xterm";
    EXPECT_TRUE(said);
}

TEST_F(HotstringServiceTest, AnExpressionIsPastedOverTheSelectionAndMakesNoClip)
{
    selectionIs("12*3 =");
    SimKeyboard keyboard(rig.clock);
    const OrderBarrier::Scope scope(keyboard.openOrderBarrier());
    service->expandHotstring();
    keyboard.tap(7);  // typed after the trigger: lands after the replacement
    rig.advance(60);
    EXPECT_EQ(rig.general().string(PasteboardTypes::string), "12*3 =36");
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 1) << "the write is borrowed";
    // The paste's restore comes first and ends the borrow; the read's own is then one too many, which the
    // extra-clipboard service drops.
    ASSERT_EQ(restores.size(), 2u);
    EXPECT_EQ(restores[0].wait, 100ms);
    EXPECT_EQ(restores[1].wait, 400ms);

    rig.advance(50);
    EXPECT_EQ(strokes, (Strings{"select", "copy", "paste"}));
    EXPECT_EQ(pasted, Strings{"12*3 =36"});
    EXPECT_TRUE(keyboard.passedEvents().empty());
    EXPECT_EQ(rig.generalBoard().fetchStringByTarget(), "12*3 =36");
    rig.clock->advanceBy(PasteService::kInsertTime);
    EXPECT_EQ(keyboard.passedEvents().size(), 2u);
    rig.advance(500);
    EXPECT_TRUE(rig.clips.empty());
    EXPECT_TRUE(rig.copies.empty());

    restores[0].callback();
    EXPECT_EQ(rig.service->passNewClipCreatedCount(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HotstringServiceTest, WhateverIsNotExpandedStaysAsTypedWithTheSelectionCollapsed)
{
    for (const char* typed : {"void(0)", "total abc", "##a #b"}) {
        SCOPED_TRACE(typed);
        strokes.clear();
        selectionIs(typed);
        SimKeyboard keyboard(rig.clock);
        const OrderBarrier::Scope scope(keyboard.openOrderBarrier());
        service->expandHotstring();
        keyboard.tap(7);
        rig.advance(49);
        EXPECT_TRUE(keyboard.passedEvents().empty()) << "a key typed now would replace the selection";
        rig.advance(151);
        EXPECT_EQ(keyboard.passedEvents().size(), 2u);
        EXPECT_EQ(strokes, (Strings{"select", "copy", "right"}));
        EXPECT_EQ(rig.service->passNewClipCreatedCount(), 0);
        EXPECT_EQ(rig.general().string(PasteboardTypes::string), typed) << "nothing was written";
    }
    EXPECT_EQ(messages.size(), 2u);              // the two errors were shown
    for (const auto& entry : logged->entries())  // the typed text stays out of the log
        for (const std::string typed : {"abc", "a #b"}) {
            EXPECT_EQ(entry.message.find(typed), std::string::npos) << entry.message;
            EXPECT_EQ(entry.context.find(typed), std::string::npos) << entry.context;
        }
}

TEST_F(HotstringServiceTest, AFailedReadCollapsesTheSelection)
{
    service->expandHotstring();
    rig.advance(600);
    EXPECT_EQ(strokes, (Strings{"select", "copy", "right"}));
    EXPECT_TRUE(logged->contains(LogLevel::warning, "hotString failure"));
    expectCaptureAsAtRest();
}

}  // namespace
}  // namespace vandrel
