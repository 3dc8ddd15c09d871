#include "engine/vandrel.h"

#include <mutex>
#include <stdexcept>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/global_queue.h"
#include "core/log.h"
#include "core/main_queue.h"
#include "engine/objc_helper.h"

namespace vandrel {

namespace {

std::shared_ptr<Platform> platformOf(const Vandrel::Options& options)
{
    auto platform = options.platform ? options.platform : Platform::shared();
    if (!platform) throw std::logic_error("Vandrel needs a platform: install one before the core object is made");
    return platform;
}

// The hidden keyboard-map key runs on the key path; the window lives above the engine and opens on the main
// queue.
EventKeeper::ShowKeyboardMap keyboardMapOpener(const rx::SchedulerPtr& mainScheduler, std::function<void()> show)
{
    return [mainScheduler, show = std::move(show)] {
        mainScheduler->schedule([show] {
            if (show)
                show();
            else
                log.warning("The keyboard map is not available in this build, nothing shown");
        });
    };
}

rx::SchedulerPtr orDefault(const rx::SchedulerPtr& scheduler, const std::function<rx::SchedulerPtr()>& fallback)
{
    return scheduler ? scheduler : fallback();
}

// The observer given, or the one installed: its taps write the Caps-hold state, so that state is ours.
std::shared_ptr<InputObserver> existingObserver(const Vandrel::Options& options)
{
    return options.inputObserver ? options.inputObserver : InputObserver::shared();
}

std::shared_ptr<InputObserver> inputObserverOf(const Vandrel::Options& options,
                                               const std::shared_ptr<Platform>& platform,
                                               const std::shared_ptr<VandrelState>& state,
                                               const rx::SchedulerPtr& mainScheduler)
{
    if (auto existing = existingObserver(options)) return existing;
    const auto inputScheduler = options.inputThreadScheduler ? options.inputThreadScheduler : mainScheduler;
    return InputObserver::make({platform, state, inputScheduler, options.guardianScheduler, nullptr});
}

}  // namespace

std::shared_ptr<Vandrel> Vandrel::make(Options options)
{
    return std::make_shared<Vandrel>(Passkey{}, std::move(options));
}

Vandrel::Vandrel(Passkey, Options options)
    : options_(std::move(options)),
      platform_(platformOf(options_)),
      mainScheduler_(orDefault(options_.mainScheduler, [] { return MainQueue::shared(); })),
      keyEventScheduler_(orDefault(options_.keyEventScheduler, [] { return KeyEventDeliver::keyEventScheduler(); })),
      windowBindingScheduler_(
          orDefault(options_.windowBindingScheduler, [] { return DispatchQueues::windowBinding(); })),
      state(existingObserver(options_) ? existingObserver(options_)->state()
                                       : std::make_shared<VandrelState>(options_.clock)),
      env(options_.environment
              ? options_.environment
              : std::make_shared<WorkingEnvironment>(
                    platform_, orDefault(options_.backgroundScheduler, [] { return GlobalQueue::shared(); }),
                    (options_.settings ? *options_.settings : Defaults())
                        .get(DefaultsKeys::app_extraTerminalLikeApps))),
      inputObserver_(inputObserverOf(options_, platform_, state, mainScheduler_)),
      windowBindingService(options_.windowBindingService ? options_.windowBindingService
                                                         : std::make_shared<WindowBindingService>()),
      keyService(KeyService::make({options_.factoryScheme,
                                   windowBindingService,
                                   options_.settings,
                                   keyboardMapOpener(mainScheduler_, options_.services.showKeyboardMap),
                                   {}})),
      eventDeliver(KeyEventDeliver::make({inputObserver_, state,
                                          [service = std::weak_ptr<KeyService>(keyService)]() -> EventKeeperPtr {
                                              auto s = service.lock();
                                              return s ? s->currentEventKeeperWithoutConflicting.value() : nullptr;
                                          },
                                          keyEventScheduler_, mainScheduler_, options_.deliverOnTapThread}))
{
}

Vandrel::~Vandrel() = default;

void Vandrel::start()
{
    if (started_.exchange(true)) {
        log.warning("vandrel start is called again, ignored");
        return;
    }
    log.info("vandrel init start");

    if (ObjcHelper::capslockState(*platform_, ObjcHelper::query) == ObjcHelper::lockOn)
        ObjcHelper::capslockState(*platform_, ObjcHelper::lockOff);

    log.info("monitoring START");
    env->startMonitoring();

    log.info("install event delever START");
    eventDeliver->install();

    std::weak_ptr<Vandrel> weak = weak_from_this();
    keyEventScheduler_->schedule([weak] {
        if (auto self = weak.lock()) self->keyService->setUpAtLaunch();
    });

    inputObserver_->startMonitoring();

    // After the taps: the keyboards are taken first; the stored bindings and the clipboard's history follow.
    log.info("restore window bindings START");
    if (const auto restore = options_.services.restoreWindowBindings)
        windowBindingScheduler_->schedule(restore);
    else
        log.warning("Window binding is not available in this build, stored bindings not restored");

    if (const auto startClips = options_.services.startClipMonitoring)
        startClips();
    else
        log.warning("The clipboard services are not available in this build, not started");
    log.info("vandrel init end");
}

InstalledInstance<Vandrel>& Vandrel::installed()
{
    static InstalledInstance<Vandrel> slot;
    return slot;
}

std::shared_ptr<Vandrel> sharedVandrel()
{
    static std::mutex making;
    std::lock_guard lock(making);
    if (auto installed = Vandrel::installed().get()) return installed;
    auto made = Vandrel::make({});
    InputObserver::install(made->inputObserver());
    Vandrel::installed().install(made);
    return made;
}

std::shared_ptr<Vandrel> installedVandrel()
{
    return Vandrel::installed().get();
}

Vandrel& vandrel()
{
    return *sharedVandrel();
}

std::shared_ptr<Vandrel> installVandrel(std::shared_ptr<Vandrel> instance)
{
    if (instance) InputObserver::install(instance->inputObserver());
    return Vandrel::installed().set(std::move(instance));
}

}  // namespace vandrel
