#include "engine/key_event_deliver.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <sstream>
#include <unordered_map>

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

std::optional<std::int64_t> keybitOfId(const std::string& id)
{
    std::int64_t keybit = 0;
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), keybit, 16);
    if (error != std::errc() || end != id.data() + id.size()) return std::nullopt;
    return keybit;
}

}  // namespace

struct KeyEventDeliver::Index {
    EventKeeperPtr table;
    std::unordered_map<std::int64_t, const EventKeeper::Entry*> byKeybit;
};

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
      mainScheduler_(dependencies.mainScheduler ? std::move(dependencies.mainScheduler) : MainQueue::shared()),
      deliverOnTapThread_(dependencies.deliverOnTapThread)
{
}

std::int64_t KeyEventDeliver::keybitWithCaps(int keycode, std::uint64_t flags)
{
    constexpr std::uint64_t modifierMasks =
        EventFlags::maskCommand | EventFlags::maskAlternate | EventFlags::maskShift | EventFlags::maskControl;
    static_assert(EventFlags::maskCommand == KeyKit::commandMask && EventFlags::maskShift == KeyKit::shiftMask &&
                  EventFlags::maskAlternate == KeyKit::optionMask && EventFlags::maskControl == KeyKit::controlMask);
    return keycode + KeyKit::capsLockMask + static_cast<std::int64_t>(flags & modifierMasks);
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
    // they were published (a Caps release never overtakes the key pressed before it). Delivered on the taps'
    // thread, that order is the taps' own.
    const bool inPlace = deliverOnTapThread_;
    auto deliver = [weak, scheduler, inPlace](void (KeyEventDeliver::*executor)(const KeyEvent&)) {
        return [weak, scheduler, inPlace, executor](const KeyEvent& event) {
            if (inPlace) {
                if (auto self = weak.lock()) (self.get()->*executor)(event);
                return;
            }
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
    queryKeybit(keybitWithCaps(event.keyCode, event.flags), true);
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
    constexpr std::int64_t capsTap = 57;
    queryKeybit((event.flags & EventFlags::maskShift) ? capsTap + KeyKit::capsLockMask + KeyKit::shiftMask : capsTap,
                true);
}

void KeyEventDeliver::actionQueryExecute(int keycode, const ModifierSet& modifiers, bool isMarkHadDoneVandrel)
{
    queryKeybit(KeyKit::makekeybitFrom(keycode, modifiers), isMarkHadDoneVandrel);
}

const EventKeeper::Entry* KeyEventDeliver::find(const EventKeeperPtr& table, std::int64_t keybit)
{
    std::shared_ptr<const Index> index;
    {
        std::lock_guard lock(indexMutex_);
        index = index_;
    }
    if (!index || index->table != table) {
        // A new table: published once and never changed, so its index holds as long as it does.
        auto made = std::make_shared<Index>();
        made->table = table;
        for (const auto& [id, entry] : table->keyActions)
            if (const auto bit = keybitOfId(id)) made->byKeybit.emplace(*bit, &entry);
        index = made;
        std::lock_guard lock(indexMutex_);
        index_ = index;
    }
    const auto found = index->byKeybit.find(keybit);
    return found == index->byKeybit.end() ? nullptr : found->second;
}

void KeyEventDeliver::queryKeybit(std::int64_t keybit, bool isMarkHadDoneVandrel)
{
    const EventKeeperPtr table = currentTable_ ? currentTable_() : nullptr;
    if (!table) return;
    const EventKeeper::Entry* found = find(table, keybit);

    if (state_->keyEventBehavior() == VdrKeyEventBehavior::passThrough) {
        log.info("vandrel is blocking");
        return;
    }
    if (!found) {
        log.warning("There is no action for keyId: " + keyIdOf(keybit));
        return;
    }
    if (isMarkHadDoneVandrel) {
        log.debug("vandrel.state.hasRunAnyVdrAction = true, vandrel.state.hasRunAnyVdrAction ->",
                  state_->hasRunAnyVdrAction());
        state_->setHasRunAnyVdrAction(true);
    }
    const VDActionPtr& action = found->action;
    state_->setLastExecAction(action);
    if (!action) return;
    if (action->postsKeysOnly()) {
        // Here and now: in order with the keys around it, whatever the GUI thread is doing. The table (and so
        // the entry) stays alive while we hold it.
        try {
            action->doWithParamSequence(found->paramSequence);
        } catch (const std::exception& e) {
            log.error("An action failed ->", e.what());
        }
        return;
    }
    std::shared_ptr<OrderBarrier> barrier;
    if (deliverOnTapThread_ && inputObserver_ && inputObserver_->platform())
        barrier = inputObserver_->platform()->eventTaps().openOrderBarrier();
    // The barrier goes with the job: released once the action has posted what it posts (an action that posts
    // later keeps it until then), or when the job is dropped unrun.
    mainScheduler_->schedule([entry = *found, barrier = std::move(barrier)] {
        const OrderBarrier::Scope scope(barrier);
        entry.action->doWithParamSequence(entry.paramSequence);
        if (barrier && !scope.kept()) barrier->release();
    });
}

}  // namespace vandrel
