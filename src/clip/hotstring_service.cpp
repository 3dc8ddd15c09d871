#include "clip/hotstring_service.h"

#include <exception>

#include "clip/clip_utils.h"
#include "core/installed_instance.h"
#include "core/log.h"
#include "rx/operators.h"

namespace vandrel {

namespace {

std::string describe(const std::exception_ptr& error)
{
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "unknown error";
}

}  // namespace

std::shared_ptr<HotstringService> HotstringService::make(Options options)
{
    return std::make_shared<HotstringService>(Passkey{}, std::move(options));
}

HotstringService::HotstringService(Passkey, Options options) : options_(std::move(options)) {}

InstalledInstance<HotstringService>& HotstringService::installed()
{
    static InstalledInstance<HotstringService> slot;
    return slot;
}

std::shared_ptr<HotstringService> HotstringService::shared()
{
    return installed().get();
}

std::shared_ptr<HotstringService> HotstringService::install(std::shared_ptr<HotstringService> service)
{
    return installed().set(std::move(service));
}

const VDActionPtr& HotstringService::collapseSelection()
{
    static const VDActionPtr action = VDAction::make()->addKeyTap(124);
    return action;
}

void HotstringService::post(const VDActionPtr& stroke) const
{
    if (options_.postKeys)
        options_.postKeys(stroke);
    else
        stroke->post();
}

void HotstringService::getTextBeforeCursorThen(StatusActions actions)
{
    if (options_.terminalLikeFrontmost) {
        if (const auto terminal = options_.terminalLikeFrontmost()) {
            log.info(
                "No hotstring in a terminal-like application: selecting to the line start there does not stop "
                "at the prompt, and the copy key may reach the running program ->",
                *terminal);
            return;
        }
    }
    // Checked before selecting, so a second request leaves the first one's selection alone.
    if (reading_.exchange(true)) {
        log.debug("Switch Fail");
        return;
    }
    post(ClipUtils::shiftCmdLeft());
    std::weak_ptr<HotstringService> weak = weak_from_this();
    options_.globalScheduler->scheduleAfter(kSelectionWait, [weak, actions = std::move(actions)] {
        auto self = weak.lock();
        if (!self) return;
        self->read(actions, true, [weak] {
            if (auto s = weak.lock()) s->reading_.store(false);
        });
    });
}

void HotstringService::getSeletingStringThen(StatusActions actions, bool isRestoreSystemClipboard)
{
    read(std::move(actions), isRestoreSystemClipboard, nullptr);
}

void HotstringService::read(StatusActions actions, bool isRestoreSystemClipboard, std::function<void()> ended)
{
    auto switchBack = options_.clipService->switchConveyorTo(clipConveyor_);
    if (!switchBack) {
        log.debug("Switch Fail");
        if (actions.failure) actions.failure();
        if (ended) ended();
        return;
    }
    options_.clipService->isOverload.accept(true);

    // Everything the end of the read needs, so that it runs even when the service is gone by then: the
    // conveyor must never stay switched.
    struct Read {
        StatusActions actions;
        std::function<void()> switchBack;
        std::function<void()> ended;
        std::shared_ptr<ClipService> clipService;
        std::function<void(rx::Duration, std::function<void()>)> restore;
        bool isRestoreSystemClipboard = false;
        std::atomic<bool> delivered{false};

        void end()
        {
            log.debug("complete, switch to multi clipboard conveyor");
            clipService->stopOverload();
            switchBack();
            if (isRestoreSystemClipboard && restore) {
                log.info("Start to restore system clipboard");
                restore(kRestoreWaitAfterRead, nullptr);
            }
            if (actions.finally) actions.finally();
            if (ended) ended();
        }
        void fail() const
        {
            if (actions.failure) actions.failure();
        }
    };
    auto state = std::make_shared<Read>();
    state->actions = std::move(actions);
    state->switchBack = std::move(switchBack);
    state->ended = std::move(ended);
    state->clipService = options_.clipService;
    state->restore = options_.restoreSystemClipboard;
    state->isRestoreSystemClipboard = isRestoreSystemClipboard;

    // Ends by itself: after the first delivery, an error, or the time limit.
    (clipConveyor_->pasteboardItemsConveyor.asObservable() | rx::take(1) | rx::take(kReadLimit, options_.clipScheduler))
        .subscribe(
            [state](const ClipConveyor::ItemsDelivery& delivery) {
                state->delivered.store(true);
                const auto text = ClipUtils::getString(delivery.first);
                if (text && !text->empty()) {
                    log.debug("hotstring: characters copied ->", std::to_string(text->size()));
                    if (state->actions.success) state->actions.success(*text);
                } else {
                    log.warning("Get plain text fail or plainText is ''");
                    state->fail();
                }
            },
            [state](std::exception_ptr error) {
                log.warning("Hotstring get string fail ->", describe(error));
                state->fail();
                state->end();
            },
            [state] {
                if (!state->delivered.load()) {
                    log.warning("Nothing was copied in time; the selection collapses");
                    state->fail();
                }
                state->end();
            });

    log.verbose("copy sent...");
    post(ClipUtils::cmdC());
}

void HotstringService::expandHotstring()
{
    if (!options_.pasteService || !options_.hotstring) {
        log.error("The hotstring service was made without its paste service or evaluator");
        return;
    }
    // Keys typed after the trigger would replace the selection: they wait until the replacement is pasted,
    // or the selection collapsed. Dropped unused (no read), the barrier lets them go.
    auto barrier = OrderBarrier::keepCurrent();
    std::weak_ptr<HotstringService> weak = weak_from_this();
    StatusActions actions;
    actions.success = [weak, barrier](const std::string& text) {
        if (auto self = weak.lock()) self->paste(text, barrier);
    };
    actions.failure = [weak, barrier] {
        log.warning("hotString failure");
        if (auto self = weak.lock()) self->post(collapseSelection());
        if (barrier) barrier->release();
    };
    getTextBeforeCursorThen(std::move(actions));
}

void HotstringService::paste(const std::string& text, std::shared_ptr<OrderBarrier> barrier)
{
    // Answered on the main thread once the evaluator is done; meanwhile the selection stays.
    std::weak_ptr<HotstringService> weak = weak_from_this();
    options_.hotstring->multiGet(text, [weak, barrier = std::move(barrier)](std::optional<std::string> replacement) {
        if (auto self = weak.lock())
            self->pasteReplacement(replacement, barrier);
        else if (barrier)
            barrier->release();
    });
}

void HotstringService::pasteReplacement(const std::optional<std::string>& replacement,
                                        const std::shared_ptr<OrderBarrier>& barrier)
{
    if (!replacement) {
        log.info("Nothing to expand; the selection collapses");
        post(collapseSelection());
        if (barrier) barrier->release();
        return;
    }
    // The write and the paste make no clip; the borrow ends when the user's content is back.
    const auto& restore = options_.restoreSystemClipboard;
    options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
        if (restore) restore(kRestoreWaitAfterPaste, done);
        options_.pasteService->copyToPasteboard(*replacement);
        // The paste holds the keys on until its target has the replacement.
        const OrderBarrier::Scope scope(barrier);
        options_.pasteService->paste();
        if (barrier && !scope.kept()) barrier->release();
        if (!restore) done();
    });
}

}  // namespace vandrel
