#include "engine/key_event_deliver.h"

#include <cstdio>
#include <sstream>

#include "core/dispatch_queues.h"
#include "core/log.h"
#include "core/main_queue.h"

namespace vandrel {

namespace {

// The key-event queue under the scheduler's own name, so traces tell delivery from other work there.
class NamedScheduler final : public rx::Scheduler {
public:
    NamedScheduler(std::string name, rx::SchedulerPtr target) : name_(std::move(name)), target_(std::move(target)) {}
    const std::string& name() const { return name_; }
    rx::TimePoint now() const override { return target_->now(); }
    rx::Disposable schedule(std::function<void()> work) override { return target_->schedule(std::move(work)); }
    rx::Disposable scheduleAfter(rx::Duration delay, std::function<void()> work) override
    {
        return target_->scheduleAfter(delay, std::move(work));
    }

private:
    const std::string name_;
    const rx::SchedulerPtr target_;
};

std::string keyIdOf(std::int64_t keybit)
{
    std::ostringstream os;
    os << std::hex << keybit;
    return os.str();
}

}  // namespace

std::atomic<bool> KeyEventDeliver::isPaused_{false};

// Per stream: whether an event has passed the pause test since the last Caps release that reached us. Only
// the taps' thread reads and writes them.
struct KeyEventDeliver::Gates {
    std::atomic<bool> keydownWithCapsOpen{false};
    std::atomic<bool> capsUpOpen{false};
    std::atomic<bool> capsTapOpen{false};

    static bool pass(std::atomic<bool>& open)
    {
        if (open.load(std::memory_order_acquire)) return true;
        if (KeyEventDeliver::isPaused()) return false;
        open.store(true, std::memory_order_release);
        return true;
    }
    void reset()
    {
        keydownWithCapsOpen.store(false);
        capsUpOpen.store(false);
        capsTapOpen.store(false);
    }
};

rx::SchedulerPtr KeyEventDeliver::keyEventScheduler()
{
    static const rx::SchedulerPtr scheduler =
        std::make_shared<NamedScheduler>("VandrelKeyEventScheduler", DispatchQueues::vandrelKeyEvent());
    return scheduler;
}

std::shared_ptr<KeyEventDeliver> KeyEventDeliver::make(Dependencies dependencies)
{
    return std::make_shared<KeyEventDeliver>(Passkey{}, std::move(dependencies));
}

KeyEventDeliver::KeyEventDeliver(Passkey, Dependencies dependencies)
    : inputObserver_(std::move(dependencies.inputObserver)),
      state_(std::move(dependencies.state)),
      currentTable_(std::move(dependencies.currentTable)),
      keyEventScheduler_(dependencies.keyEventScheduler ? std::move(dependencies.keyEventScheduler)
                                                        : keyEventScheduler()),
      mainScheduler_(dependencies.mainScheduler ? std::move(dependencies.mainScheduler) : MainQueue::shared())
{
}

ModifierSet KeyEventDeliver::modifiersWithCaps(std::uint64_t flags)
{
    ModifierSet modifiers{57};
    if (flags & EventFlags::maskCommand) modifiers.insert(55);
    if (flags & EventFlags::maskAlternate) modifiers.insert(58);
    if (flags & EventFlags::maskShift) modifiers.insert(56);
    if (flags & EventFlags::maskControl) modifiers.insert(59);
    return modifiers;
}

void KeyEventDeliver::install()
{
    disposeBag_ = rx::DisposeBag();
    if (!inputObserver_) {
        log.error("No input observer, key events are not delivered");
        return;
    }
    auto gates = std::make_shared<Gates>();
    std::weak_ptr<KeyEventDeliver> weak = weak_from_this();
    const rx::SchedulerPtr scheduler = keyEventScheduler_;
    // One job per event on the one serial scheduler, so events of the three streams are handled in the order
    // they were published (a Caps release never overtakes the key pressed before it).
    auto deliver = [weak, scheduler](void (KeyEventDeliver::*executor)(const KeyEvent&)) {
        return [weak, scheduler, executor](const KeyEvent& event) {
            scheduler->schedule([weak, executor, event] {
                if (auto self = weak.lock()) (self.get()->*executor)(event);
            });
        };
    };

    inputObserver_->keydownWithCaps
        .subscribe([gates, next = deliver(&KeyEventDeliver::keydownWithCapsEventExecutor)](const KeyEvent& event) {
            if (Gates::pass(gates->keydownWithCapsOpen)) next(event);
        })
        .disposed(disposeBag_);
    rx::Disposable::create([] { log.info("keydownWithCaps$ disposed"); }).disposed(disposeBag_);

    // A release that passes opens every stream's pause test again at once, on the publishing thread: the
    // next hold is judged afresh and nothing published meanwhile slips past the subscriptions.
    inputObserver_->capsUp
        .subscribe([gates, next = deliver(&KeyEventDeliver::capsUpEventExecutor)](const KeyEvent& event) {
            if (!Gates::pass(gates->capsUpOpen)) return;
            gates->reset();
            next(event);
        })
        .disposed(disposeBag_);

    inputObserver_->capsTap
        .subscribe([gates, next = deliver(&KeyEventDeliver::capsTapEventExecutor)](const KeyEvent& event) {
            if (Gates::pass(gates->capsTapOpen)) next(event);
        })
        .disposed(disposeBag_);
}

void KeyEventDeliver::keydownWithCapsEventExecutor(const KeyEvent& event)
{
    actionQueryExecute(event.keyCode, modifiersWithCaps(event.flags), true);
}

void KeyEventDeliver::capsUpEventExecutor(const KeyEvent&)
{
    log.debug("vandrel.state.resetStateWhileCapsUp() vandrel.state.hasRunAnyVdrAction ->",
              state_->hasRunAnyVdrAction());
    state_->resetStateWhileCapsUp();
}

void KeyEventDeliver::capsTapEventExecutor(const KeyEvent& event)
{
    log.debug("hello capsTap");
    // The taps judge a tap before this queue has handled the keys pressed during the hold. Events reach this
    // queue in order, and the Caps release that clears the flag comes after the tap, so a flag set here means
    // an action ran in this very hold: the release is no tap (a stray Escape would close the user's dialog).
    if (state_->hasRunAnyVdrAction()) {
        log.debug("capsTap dropped: an action ran in this hold");
        return;
    }
    // A tap with Shift held is its own key (every table binds it to the Caps Lock toggle).
    const ModifierSet modifiers = (event.flags & EventFlags::maskShift) ? ModifierSet{56, 57} : ModifierSet{};
    actionQueryExecute(57, modifiers, true);
}

void KeyEventDeliver::actionQueryExecute(int keycode, const ModifierSet& modifiers, bool isMarkHadDoneVandrel)
{
    const std::string keyId = keyIdOf(KeyKit::makekeybitFrom(keycode, modifiers));
    const EventKeeperPtr table = currentTable_ ? currentTable_() : nullptr;
    if (!table) return;
    const auto found = table->keyActions.find(keyId);

    if (state_->keyEventBehavior() == VdrKeyEventBehavior::passThrough) {
        log.info("vandrel is blocking");
        return;
    }
    if (found == table->keyActions.end()) {
        log.warning("There is no action for keyId: " + keyId);
        return;
    }
    if (isMarkHadDoneVandrel) {
        log.debug("vandrel.state.hasRunAnyVdrAction = true, vandrel.state.hasRunAnyVdrAction ->",
                  state_->hasRunAnyVdrAction());
        state_->setHasRunAnyVdrAction(true);
    }
    const auto entry = found->second;
    state_->setLastExecAction(entry.action);
    mainScheduler_->schedule([entry] {
        if (entry.action) entry.action->doWithParamSequence(entry.paramSequence);
    });
}

}  // namespace vandrel
