#include "windowbinding/vd_window_binding.h"

#include <stdexcept>
#include <vector>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"
#include "platform/platform.h"
#include "rx/time_operators.h"
#include "storage/realm.h"
#include "windowbinding/vd_window_binding_data.h"

namespace vandrel {

namespace {

std::string nameOr(const std::shared_ptr<VDApplication>& app, const char* fallback)
{
    return app && app->name && !app->name->empty() ? *app->name : std::string(fallback);
}

// A placeholder reports nothing of the window it stands for: what it cannot tell, the stored record keeps.
VDWindowBindingDataSwiftType keepStored(VDWindowBindingDataSwiftType now, const VDWindowBindingDataSwiftType& stored)
{
    if (now.winTitle.empty()) now.winTitle = stored.winTitle;
    if (now.winId == 0) now.winId = stored.winId;
    if (now.appName.empty()) now.appName = stored.appName;
    if (now.appUrl.empty()) now.appUrl = stored.appUrl;
    if (now.appBundleId.empty()) now.appBundleId = stored.appBundleId;
    if (now.appPid <= 0) now.appPid = stored.appPid;
    return now;
}

void store(std::int64_t bindingId, const VDWindowBindingDataSwiftType& mirror)
{
    const auto record = VDWindowBindingData::createFromSwiftTypes(bindingId, mirror);
    Realm::transaction([record](Realm& realm) { VDWindowBindingData::add(realm, record); });
}

}  // namespace

const std::string& VDWindowBinding::Tips::noFocusingWindow()
{
    static const std::string text = localized("_no_focused_window");
    return text;
}

const std::string& VDWindowBinding::Tips::noBindingWindow()
{
    static const std::string text = localized("_no_binding_window");
    return text;
}

std::shared_ptr<VDWindowBinding> VDWindowBinding::make(Dependencies dependencies)
{
    if (!dependencies.scheduler) throw std::invalid_argument("the window-binding service needs its queue");
    if (!dependencies.mainScheduler) dependencies.mainScheduler = dependencies.scheduler;
    if (!dependencies.popup) dependencies.popup = &popupMsg;
    auto service = std::make_shared<VDWindowBinding>(Passkey{}, std::move(dependencies));
    service->subscription_ = (service->eventQueue.asObservable() |
                              rx::throttle(rx::seconds(kThrottleSeconds), service->dependencies_.scheduler, true))
                                 .subscribe([](const std::function<void()>& work) {
                                     if (work) work();
                                 });
    return service;
}

VDWindowBinding::VDWindowBinding(Passkey, Dependencies dependencies)
    : dependencies_(std::move(dependencies)),
      windows_(dependencies_.scheduler, dependencies_.skippedApplicationIds),
      opener_(dependencies_.scheduler)
{
}

SettingsStore& VDWindowBinding::settings() const
{
    return dependencies_.settings ? *dependencies_.settings : Defaults();
}

std::optional<VDKey> VDWindowBinding::activateKey(std::int64_t bindingId) const
{
    return dependencies_.keys ? dependencies_.keys->activateKey(static_cast<int>(bindingId)) : std::nullopt;
}

std::optional<VDKey> VDWindowBinding::bindKey(std::int64_t bindingId) const
{
    return dependencies_.keys ? dependencies_.keys->bindKey(static_cast<int>(bindingId)) : std::nullopt;
}

std::shared_ptr<Window> VDWindowBinding::windowOf(std::int64_t bindingId) const
{
    const auto it = idToWindowDictionary.find(bindingId);
    return it == idToWindowDictionary.end() ? nullptr : it->second;
}

void VDWindowBinding::pushBind(const VDAtomicActionParam& param)
{
    const auto id = param.windowBindingIdValue();
    if (!id) return;
    std::weak_ptr<VDWindowBinding> weak = weak_from_this();
    eventQueue.onNext([weak, bindingId = *id] {
        const auto self = weak.lock();
        if (!self) return;
        const auto window = self->bind(bindingId);
        if (!window) return;
        const auto key = self->activateKey(bindingId);
        const std::string keyText = key ? key->keyCharWithModifiers() : std::string();
        const std::string appName = nameOr(window->app, "App");
        self->dependencies_.mainScheduler->schedule([popup = self->dependencies_.popup, keyText, appName] {
            popup(localized("_alert_window_binding", keyText, appName), 3.0);
        });
    });
}

void VDWindowBinding::pushActivate(const VDAtomicActionParam& param)
{
    const auto id = param.windowBindingIdValue();
    if (!id) return;
    std::weak_ptr<VDWindowBinding> weak = weak_from_this();
    eventQueue.onNext([weak, bindingId = *id] {
        if (const auto self = weak.lock()) self->activate(bindingId);
    });
}

std::shared_ptr<Window> VDWindowBinding::bind(std::int64_t bindingId)
{
    log.debug("windowBinding bind", bindingId);
    auto window = Window::newWindowWithFocused();
    if (!window) {
        dependencies_.popup(Tips::noFocusingWindow(), 3.0);
        return nullptr;
    }
    log.debug("set binding window, bundleId ->", window->app ? window->app->bundleId : std::nullopt);
    idToWindowDictionary[bindingId] = window;
    storeBinding(bindingId, window);
    return window;
}

void VDWindowBinding::showUnbound(std::int64_t bindingId)
{
    if (const auto key = bindKey(bindingId))
        dependencies_.popup(localized("_bind_window_first", key->keyCharWithModifiers()), 4.0);
    else
        dependencies_.popup(Tips::noBindingWindow(), 3.0);
}

void VDWindowBinding::activate(std::int64_t bindingId)
{
    const auto win = windowOf(bindingId);
    if (!win) return showUnbound(bindingId);
    const auto focused = Window::newWindowWithFocused();

    if (focused && focused->winid == win->winid) {
        log.info("window isFocused, winid ->", win->winid);
        if (win->isFullscreen()) {
            if (preFocusedWindow_ && preFocusedWindow_->activate() == 0) return;
            dependencies_.popup(localized("_fullscreen_focusing_window_cannot_be_monimized"), 4.0);
            return;
        }
        log.info("start to minimize window");
        minimizeWindowAndFocusPrefocusedWindow(win);
        return;
    }

    preFocusedWindow_ = focused;
    const int result = win->activate();
    if (result == 0) {
        log.info("activate window success");
        return;
    }
    log.info("activate window fail, result code -> " + std::to_string(result));
    rebind(bindingId, win);
}

void VDWindowBinding::rebind(std::int64_t bindingId, const std::shared_ptr<Window>& win)
{
    const auto app = win->app;
    if (!app) return showUnbound(bindingId);
    log.verbose(
        "activate window fail, rebinding start [appBundle, appName, appUrl, winTitle, winPid, winId] ->",
        std::vector<std::string>{app->bundleId.value_or("no bundle id"), app->name.value_or("no name"),
                                 app->url.value_or("no url"), win->window ? win->getTitle() : std::string("no title"),
                                 std::to_string(win->pid), std::to_string(win->winid)});

    const bool wasRunning = app->isRunning();
    auto platform = Platform::shared();
    const auto front = platform ? platform->workspace().frontmostApplication() : std::nullopt;
    const std::optional<std::string> frontId = front ? front->bundleIdentifier : std::nullopt;
    bool frontMinimized = true;
    if (front)
        if (const auto frontApp = VDApplication::newAppWithPid(front->processIdentifier))
            if (const auto main = frontApp->getMainWindow()) frontMinimized = main->isMinimize();

    if (!wasRunning && !settings().get(DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation)) {
        const auto key = activateKey(bindingId);
        if (!key) {
            log.error("get activate key for this bindingWindowId fail, bindingId ->", bindingId);
            return;
        }
        const bool secondPress =
            keyToLaunchAppWhenPressAgain && keyToLaunchAppWhenPressAgain->keybit() == key->keybit();
        if (!secondPress) {
            dependencies_.popup(localized("_press_again_to_launch", key->keyCharWithModifiers(), nameOr(app, "App")),
                                4.0);
            keyToLaunchAppWhenPressAgain = key;
            const auto generation = ++pressAgainGeneration_;
            std::weak_ptr<VDWindowBinding> weak = weak_from_this();
            dependencies_.scheduler->scheduleAfter(rx::seconds(kPressAgainSeconds), [weak, generation] {
                const auto self = weak.lock();
                if (self && self->pressAgainGeneration_ == generation) self->keyToLaunchAppWhenPressAgain.reset();
            });
            return;
        }
    }

    if (!wasRunning) {
        const std::string name = nameOr(app, "App");
        dependencies_.mainScheduler->schedule(
            [popup = dependencies_.popup, name] { popup(localized("_alert_window_launching", name), 3.0); });
    }

    std::weak_ptr<VDWindowBinding> weak = weak_from_this();
    // The new main window is bound, and when the application was already in front with its main window
    // up, minimized again, once it exists: the completion runs when the launched window is there.
    const auto completion = [weak, bindingId, wasRunning, frontId,
                             frontMinimized](const std::shared_ptr<Window>& window) {
        const auto self = weak.lock();
        if (!self) {
            log.error("Failed to get strong self");
            return;
        }
        self->idToWindowDictionary[bindingId] = window;
        self->storeBinding(bindingId, window);
        if (!wasRunning) return;
        log.debug("frontMostAppBundleId, isMinimize ->",
                  std::vector<std::string>{frontId.value_or("nil"), frontMinimized ? "true" : "false"});
        const auto w2 = self->windowOf(bindingId);
        if (!w2 || !w2->app || !w2->app->bundleId) return;
        if (*w2->app->bundleId == frontId && !frontMinimized) {
            log.debug("window is focusing, minimize it, winid -> " + std::to_string(w2->winid));
            log.verbose("bundleId rebinded -> " + *w2->app->bundleId);
            self->minimizeWindowAndFocusPrefocusedWindow(w2);
        }
    };

    // A launch that was accepted yet brought no window (the program failed, or never showed one) is a failed
    // launch too: the user was told it is launching, so they are told it did not.
    const auto gaveUp = [popup = dependencies_.popup, name = nameOr(app, "App")] {
        popup(localized("_alert_window_launch_fail", name), 3.0);
    };
    bool opened = false;
    if (app->bundleId) {
        opened = opener_.open(*app->bundleId, kLaunchWaitSeconds, true, completion, gaveUp);
        log.debug("Step 1 -> ", opened);
    }
    if (!opened && app->name) {
        opened = opener_.open(*app->name, kLaunchWaitSeconds, true, completion, gaveUp);
        log.debug("Step 2 -> ", opened);
    }
    if (!opened) {
        log.warning("rebinding failt");
        log.verbose(", window title ->", win->getTitle());
        dependencies_.popup(localized("_alert_window_launch_fail", nameOr(app, "App")), 3.0);
        return;
    }
    log.debug("rebind app success");
}

void VDWindowBinding::minimizeWindowAndFocusPrefocusedWindow(const std::shared_ptr<Window>& win)
{
    const auto pre = preFocusedWindow_;
    log.debug("minimize window 0");
    log.debug("minimize window 1");
    if (!pre) return minimizeStep(win);
    const auto preActive = dependencies_.preActiveApplication ? dependencies_.preActiveApplication() : std::nullopt;
    const auto preApp = preActive && preActive->bundleIdentifier
                            ? VDApplication::newAppWithBundleId(*preActive->bundleIdentifier)
                            : nullptr;
    const auto preMain = preApp ? preApp->getMainWindow() : nullptr;
    if (!preMain) return minimizeStep(win);
    log.debug("minimize window 2");
    if (pre->isFullscreen()) {
        log.debug("pre-window is fullscreen, no minimize");
        preFocusedWindow_ = win;
    } else {
        minimizeStep(win);
        preFocusedWindow_ = nullptr;
    }
    if (preMain->winid == pre->winid && pre->winid != win->winid) pre->activate();
}

void VDWindowBinding::minimizeStep(const std::shared_ptr<Window>& win)
{
    log.debug("start to minimize");
    const int result = win->minimize();
    log.debug("window.minimize() result->", std::string(result == 0 ? "success" : "fail"));
    const auto preActive = dependencies_.preActiveApplication ? dependencies_.preActiveApplication() : std::nullopt;
    std::string preTitle = preFocusedWindow_ ? preFocusedWindow_->getTitle() : std::string();
    if (preTitle.empty()) preTitle = "<get title fail>";
    log.debug("[preFocusedWindow, preActiveAppBundleId ->]",
              std::vector<std::string>{preTitle, preActive && preActive->bundleIdentifier ? *preActive->bundleIdentifier
                                                                                          : std::string("nil")});
}

void VDWindowBinding::storeBinding(std::int64_t bindingId, const std::shared_ptr<Window>& win)
{
    const auto mirror = VDWindowBindingDataSwiftType::createFromObjcObject(*win);
    if (!mirror) {
        log.error("Get window's data for store fail");
        return;
    }
    store(bindingId, *mirror);
}

void VDWindowBinding::restoreBinding(std::int64_t bindingId)
{
    auto realm = Realm::open();
    if (!realm) {
        log.error("The database cannot be opened, the window binding is not restored ->", realm.error().what());
        return;
    }
    log.info("loop windowBindingKeysList START");
    std::optional<VDWindowBindingData> record;
    try {
        record = VDWindowBindingData::object(**realm, bindingId);
    } catch (const std::exception& e) {
        log.error("The stored window binding cannot be read ->", std::string(e.what()).substr(0, 200));
        return;
    }
    if (!record) {
        log.debug("get bindingData from realm fail, bindingId -> " + std::to_string(bindingId));
        return;
    }
    const auto stored = record->toSwiftRuntimeType();
    log.verbose(
        "winid, winTitle, appPid, appBundleId, appName, appUrl ->",
        std::vector<std::string>{std::to_string(static_cast<std::uint32_t>(stored.winId)), stored.winTitle,
                                 std::to_string(stored.appPid), stored.appBundleId, stored.appName, stored.appUrl});
    const auto winid = static_cast<std::uint32_t>(stored.winId);

    std::shared_ptr<Window> window = windows_.findByWinid(winid);
    const std::optional<std::string> foundId = window && window->app ? window->app->bundleId : std::nullopt;
    log.debug("1. window.bundleId, appBundleId ->",
              std::vector<std::string>{foundId.value_or("nil"), stored.appBundleId});
    if (!foundId || *foundId != stored.appBundleId) {
        log.debug("1.1 {app bundleId of the window storing} is not equals with {stored app bundleId}, discard it -> " +
                  foundId.value_or("nil") + ", " + stored.appBundleId);
        window = nullptr;
    }
    if (!window && !stored.winTitle.empty() && !stored.appBundleId.empty()) {
        window = windows_.findByTitle(stored.winTitle, stored.appBundleId);
        log.debug("2. winTitle ->", stored.winTitle);
    }
    if (!window && !stored.winTitle.empty()) {
        window = windows_.findByTitle(stored.winTitle);
        log.debug("3. wintitle ->", stored.winTitle);
    }
    if (!window) {
        const auto app = VDApplication::newAppWithPid(stored.appPid);
        if (app && app->bundleId == stored.appBundleId)
            window = Window::newWindowByFillPropertyApp(app, stored.appPid, winid);
        log.debug("4. appPid ->", stored.appPid);
    }
    if (!window) {
        if (const auto app = VDApplication::newAppWithBundleId(stored.appBundleId))
            window = Window::newWindowByFillPropertyApp(app);
        log.debug("5. appBundleId ->", stored.appBundleId);
    }
    if (!window) {
        const auto app = VDApplication::newAppByFillProperty(
            stored.appPid, stored.appBundleId, stored.appName,
            stored.appUrl.empty() ? std::nullopt : std::optional<std::string>(stored.appUrl));
        window = Window::newWindowByFillPropertyApp(app, stored.appPid, winid);
        log.debug("6. restoreWin ->", stored.appName);
    }

    idToWindowDictionary[bindingId] = window;
    if (window->window) return storeBinding(bindingId, window);
    // A placeholder has no title and perhaps no number: writing it as it is would lose the stored ones.
    const auto mirror = VDWindowBindingDataSwiftType::createFromObjcObject(*window);
    if (!mirror) {
        log.error("Get window's data for store fail");
        return;
    }
    store(bindingId, keepStored(*mirror, stored));
}

void VDWindowBinding::restoreAllBindings()
{
    auto realm = Realm::open();
    if (!realm) {
        log.error("The database cannot be opened, window bindings are not restored ->", realm.error().what());
        return;
    }
    std::vector<std::int64_t> ids;
    try {
        ids = VDWindowBindingData::wellFormedIds(**realm, [](const std::string& id) {
            log.error("A stored window binding holds values of the wrong type, skipped ->", id);
        });
    } catch (const std::exception& e) {
        log.error("The stored window bindings cannot be read, none restored ->", std::string(e.what()).substr(0, 200));
        return;
    }
    for (const auto id : ids) restoreBinding(id);
}

}  // namespace vandrel
