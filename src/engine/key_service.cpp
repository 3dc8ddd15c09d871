#include "engine/key_service.h"

#include <algorithm>
#include <set>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/json_limits.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"
#include "model/key_scheme_store.h"

namespace vandrel {

namespace {

using nlohmann::json;

// The stored name list as its text elements; absent when the stored value is not a list (then nothing may
// be taken for an orphan).
std::optional<std::vector<std::string>> storedNames(const SettingsStore& store)
{
    auto value = store.object(DefaultsKeys::hotkey_customKeySchemeNames.key());
    if (!value || value->is_null()) return std::vector<std::string>{};
    if (!value->is_array()) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& item : *value)
        if (item.is_string()) names.push_back(item.get<std::string>());
    return names;
}

bool isListed(const SettingsStore& store, const std::string& name)
{
    const auto names = storedNames(store);
    return names && std::find(names->begin(), names->end(), name) != names->end();
}

std::string withoutSurroundingSpaces(const std::string& name)
{
    constexpr const char* spaces = " \t\n\r\f\v";
    const auto first = name.find_first_not_of(spaces);
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(spaces) - first + 1);
}

}  // namespace

std::shared_ptr<KeyService> KeyService::make(Dependencies dependencies)
{
    return std::make_shared<KeyService>(Passkey{}, std::move(dependencies));
}

KeyService::KeyService(Passkey, Dependencies dependencies)
    : windowBindingService_(std::move(dependencies.windowBindingService)),
      settings_(std::move(dependencies.settings)),
      factoryScheme_(std::move(dependencies.factoryScheme)),
      showKeyboardMap_(std::move(dependencies.showKeyboardMap)),
      popup_(dependencies.popup ? std::move(dependencies.popup) : PopupPresenter(&popupMsg)),
      availableBuildInKeyScheme_{makeFactoryScheme()}
{
}

VDKeySchemePtr KeyService::makeFactoryScheme() const
{
    if (factoryScheme_) {
        if (auto scheme = factoryScheme_()) return scheme;
    }
    log.error("No factory key scheme was given, an empty one stands in");
    return VDKeyScheme::make("Vandrel", "The default scheme of Vandrel.", VDKeySchemeType::builtIn, {});
}

SettingsStore& KeyService::settings() const
{
    return settings_ ? *settings_ : Defaults();
}

void KeyService::startMonitoring()
{
    std::lock_guard lock(mutex_);
    if (monitoring_) return;
    monitoring_ = true;
    std::weak_ptr<KeyService> weak = weak_from_this();

    activeKeyScheme
        .subscribe([weak](const VDKeySchemePtr& scheme) {
            auto self = weak.lock();
            if (!self) return;
            std::lock_guard lock(self->mutex_);
            self->currentEventKeeper.accept(scheme ? self->actionKeeper(self->resolveInstalled(scheme)) : nullptr);
        })
        .disposed(disposeBag_);

    currentEventKeeper
        .subscribe([weak](const EventKeeperPtr& table) {
            auto self = weak.lock();
            if (!self) return;
            std::lock_guard lock(self->mutex_);
            auto active = self->activeKeyScheme.value();
            if (auto installed = self->resolveInstalled(active)) active = installed;
            self->currentEventKeeperWithoutConflicting.accept(EventKeeper::withoutConflicting(table, active));
        })
        .disposed(disposeBag_);

    currentEventKeeperWithoutConflicting
        .subscribe([weak](const EventKeeperPtr& table) {
            auto self = weak.lock();
            if (self && table) self->refillWindowBindingKeys(*table);
        })
        .disposed(disposeBag_);

    // The first activation at start-up is the factory default: it must not overwrite the stored name.
    (activeKeyScheme | rx::filter([](const VDKeySchemePtr& scheme) { return scheme != nullptr; }) | rx::skip(1))
        .subscribe([weak](const VDKeySchemePtr& scheme) {
            auto self = weak.lock();
            if (self) self->settings().set(DefaultsKeys::hotkey_currentKeyScheme, scheme->name.value());
        })
        .disposed(disposeBag_);
}

void KeyService::install(const VDKeySchemePtr& keyScheme)
{
    if (!keyScheme) return;
    std::lock_guard lock(mutex_);
    if (std::find(allKeySchemes_.begin(), allKeySchemes_.end(), keyScheme) != allKeySchemes_.end()) {
        log.debug("The key scheme is installed already ->", keyScheme->name.value());
        return;
    }
    auto available = availableKeySchemes.value();
    available.push_back(keyScheme);
    availableKeySchemes.accept(available);
    allKeySchemes_.push_back(keyScheme);
    keySchemeNameToKeyScheme_[keyScheme->name.value()] = keyScheme;

    std::weak_ptr<KeyService> weak = weak_from_this();
    std::weak_ptr<VDKeyScheme> weakScheme = keyScheme;
    keyScheme->previousAndCurrentName
        .subscribe([weak, weakScheme](const VDKeyScheme::NamePair& names) {
            auto self = weak.lock();
            auto scheme = weakScheme.lock();
            if (self && scheme) self->handleRename(scheme, names.first, names.second);
        })
        .disposed(disposeBag_);
    keyScheme->keySettings
        .subscribe([weak, weakScheme](const VDKeyScheme::KeySettings&) {
            log.debug("keyScheme.keySettings is changed, update keySchemesToActionKeeper");
            auto self = weak.lock();
            auto scheme = weakScheme.lock();
            if (self && scheme) self->rebuildTable(scheme);
        })
        .disposed(disposeBag_);
}

void KeyService::rebuildTable(const VDKeySchemePtr& keyScheme)
{
    std::lock_guard lock(mutex_);
    EventKeeperPtr table = std::make_shared<const EventKeeper>(*keyScheme, showKeyboardMap_, popup_);
    keySchemesToActionKeeper_[keyScheme] = table;
    if (isActive(keyScheme.get())) currentEventKeeper.accept(table);
}

void KeyService::handleRename(const VDKeySchemePtr& keyScheme, const std::string& previousName,
                              const std::string& newName)
{
    std::lock_guard lock(mutex_);
    auto previous = keySchemeNameToKeyScheme_.find(previousName);
    if (previous != keySchemeNameToKeyScheme_.end() && previous->second == keyScheme)
        keySchemeNameToKeyScheme_.erase(previous);
    auto holder = keySchemeNameToKeyScheme_.find(newName);
    const bool nameTaken = (holder != keySchemeNameToKeyScheme_.end() && holder->second != keyScheme) ||
                           isNameTaken(newName, keyScheme.get(), previousName);
    keySchemeNameToKeyScheme_[newName] = keyScheme;

    if (keyScheme->type() != VDKeySchemeType::custom) return;
    auto& store = settings();
    if (nameTaken) {
        // Storing under the new name would overwrite the other scheme's stored entry.
        log.error("Another key scheme has this name, the stored scheme is kept under its previous name ->",
                  previousName + " -> " + newName);
    } else if (isListed(store, previousName) || isListed(store, newName)) {
        if (previousName != newName) KeySchemeStore::removeUnsaved(previousName, store);
        KeySchemeStore::write(*keyScheme, store, popup_);
    }
    if (isActive(keyScheme.get())) store.set(DefaultsKeys::hotkey_currentKeyScheme, newName);
}

void KeyService::refillWindowBindingKeys(const EventKeeper& table)
{
    if (!windowBindingService_) return;
    const auto activateWindow = VDAction::registered("activateWindow");
    const auto bindWindow = VDAction::registered("bindWindow");
    WindowBindingService::SlotKeys activateKeys;
    WindowBindingService::SlotKeys bindKeys;
    for (const auto& [id, entry] : table.keyActions) {
        if (!entry.action || entry.paramSequence.empty()) continue;
        const bool isActivate = activateWindow && entry.action == activateWindow;
        const bool isBind = bindWindow && entry.action == bindWindow;
        if (!isActivate && !isBind) continue;
        const auto slot = entry.paramSequence.front().windowBindingIdValue();
        if (!slot) continue;
        const auto keybit = VDKey::keybitFromId(id);
        if (!keybit) continue;
        (isActivate ? activateKeys : bindKeys)
            .insert_or_assign(static_cast<int>(*slot), VDKey::fromKeybit(keybit.value()));
    }
    windowBindingService_->refillKeys(std::move(activateKeys), bindKeys);
}

void KeyService::restoreKeySchemesFromUserDefault()
{
    std::lock_guard lock(mutex_);
    auto& store = settings();
    std::set<std::string> factoryNames;
    for (const auto& scheme : availableBuildInKeyScheme_) factoryNames.insert(scheme->name.value());

    std::vector<std::string> unreadable;
    const auto restored = KeySchemeStore::readAll(store, &unreadable);
    const auto entries = KeySchemeStore::entryNames(store);
    for (const auto& stored : restored) {
        if (factoryNames.count(stored.storedName)) {
            log.debug("A stored custom scheme has a factory scheme's name, not installed ->", stored.storedName);
            continue;
        }
        const std::string name = stored.scheme->name.value();
        if (keySchemeNameToKeyScheme_.count(name)) {
            log.error("A stored custom scheme has the name of an installed scheme, skipped ->",
                      excerpt(stored.storedName) + " (" + excerpt(name) + ")");
            continue;
        }
        // Its edits would be stored over the other entry.
        if (name != stored.storedName && std::find(entries.begin(), entries.end(), name) != entries.end()) {
            log.error("A stored custom scheme has the name of another stored scheme, skipped ->",
                      excerpt(stored.storedName) + " (" + excerpt(name) + ")");
            continue;
        }
        install(stored.scheme);
    }
    tellUnreadable(unreadable);

    if (auto listed = storedNames(store)) {
        removeOrphanedStoredSchemes(*listed);
    } else {
        log.error("The stored custom scheme names are not a list, no stored scheme removed");
    }
}

void KeyService::tellUnreadable(const std::vector<std::string>& names)
{
    std::string quoted;
    std::size_t count = 0;
    for (const auto& name : names) {
        if (!toldUnreadable_.insert(name).second) continue;
        quoted += (count++ ? ", " : "") + localized("\"${0}\"", excerpt(name));
    }
    if (count == 0) return;
    popup_(localized(count == 1 ? "Hotkey scheme ${0} cannot be read and is left out; its text stays as it is in ${1}."
                                : "Hotkey schemes ${0} cannot be read and are left out; their texts stay as they are "
                                  "in ${1}.",
                     quoted, settings().filePath().string()),
           12);
}

void KeyService::removeOrphanedStoredSchemes(const std::vector<std::string>& listedNames)
{
    auto& store = settings();
    const std::string& key = DefaultsKeys::hotkey_allCustomKeySchemes.key();
    auto schemes = store.object(key);
    if (!schemes || !schemes->is_object()) return;
    const std::set<std::string> listed(listedNames.begin(), listedNames.end());
    std::vector<std::string> orphans;
    for (const auto& [name, text] : schemes->items())
        if (!listed.count(name)) orphans.push_back(name);
    for (const auto& name : orphans) {
        log.debug("Remove the keyScheme in .hotkey_allCustomKeySchemes but not in .hotkey_customKeySchemeNames ->",
                  excerpt(name));
        auto current = store.object(key);
        if (!current || !current->is_object()) return;
        current->erase(name);
        store.setObject(std::move(*current), key);
    }
}

void KeyService::activateCurrentKeySchemeFromUserDefault()
{
    std::lock_guard lock(mutex_);
    const std::string name = settings().get(DefaultsKeys::hotkey_currentKeyScheme);
    log.debug("currentActiveKeySchemeName ->", name);
    if (name.empty()) return;
    auto scheme = installedScheme(name);
    if (!scheme) return;
    log.debug("currentActiveScheme ->", scheme->name.value());
    activate(scheme);
}

void KeyService::analyzeAndRecordCurrentVandrelVersion()
{
    auto& store = settings();
    if (store.get(DefaultsKeys::hotkey_currentVandrelVersion).empty())
        store.set(DefaultsKeys::hotkey_currentVandrelVersion, std::string(rawValue(VDKeyScheme::version)));
}

void KeyService::setUpAtLaunch()
{
    std::lock_guard lock(mutex_);
    startMonitoring();
    for (const auto& scheme : availableBuildInKeyScheme_) install(scheme);
    activate(availableBuildInKeyScheme_.front());
    restoreKeySchemesFromUserDefault();
    activateCurrentKeySchemeFromUserDefault();
    analyzeAndRecordCurrentVandrelVersion();
}

void KeyService::activate(const VDKeySchemePtr& keyScheme)
{
    if (!keyScheme) return;
    std::lock_guard lock(mutex_);
    auto installed = resolveInstalled(keyScheme);
    if (!installed) {
        install(keyScheme);
        installed = keyScheme;
    }
    activeKeyScheme.accept(installed);
}

VDKeySchemePtr KeyService::transformToANewCustom(const VDKeyScheme& keyScheme,
                                                 const std::optional<std::string>& baseName) const
{
    const std::string base = baseName.value_or(keyScheme.name.value());
    const auto taken = takenNames(nullptr, std::nullopt);
    std::string name = base;
    for (long n = 2; taken.count(withoutSurroundingSpaces(name)); ++n) name = base + " " + std::to_string(n);
    return VDKeyScheme::make(name, "", VDKeySchemeType::custom, keyScheme.keySettings.value(),
                             keyScheme.forAppBundleIds());
}

bool KeyService::isNameTaken(const std::string& name, const VDKeyScheme* renamed,
                             const std::optional<std::string>& storedAs) const
{
    return takenNames(renamed, storedAs).count(withoutSurroundingSpaces(name)) > 0;
}

std::set<std::string> KeyService::takenNames(const VDKeyScheme* renamed,
                                             const std::optional<std::string>& storedAs) const
{
    std::set<std::string> taken;
    for (const auto& scheme : availableKeySchemes.value())
        if (scheme && scheme.get() != renamed) taken.insert(withoutSurroundingSpaces(scheme->name.value()));
    const std::optional<std::string> own = renamed ? storedAs.value_or(renamed->name.value()) : storedAs;
    for (const auto& name : KeySchemeStore::entryNames(settings()))
        if (name != own) taken.insert(withoutSurroundingSpaces(name));
    // Keeping its own name changes nothing, whoever else has it.
    if (own) taken.erase(withoutSurroundingSpaces(*own));
    return taken;
}

VDKeySchemePtr KeyService::modifyButCreateACutomSchemeForBuildInScheme(
    const VDKeySchemePtr& keyScheme, const std::function<void(VDKeyScheme&)>& modification)
{
    log.debug("before keyShceme mofified");
    if (!keyScheme) return nullptr;
    if (keyScheme->type() != VDKeySchemeType::builtIn) {
        if (modification) modification(*keyScheme);
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    auto copy = transformToANewCustom(*keyScheme, localized("Custom"));
    if (modification) modification(*copy);
    install(copy);
    activate(copy);
    // Announced before it is stored: a message replaces the one on screen, and a failure to store must be
    // the one the user reads.
    popup_(localized("☝️ New hotkey scheme ${0} has been created for modification",
                     localized("\"${0}\"", copy->name.value())),
           6);
    auto& store = settings();
    KeySchemeStore::write(*copy, store, popup_);
    store.set(DefaultsKeys::hotkey_currentKeyScheme, copy->name.value());
    return copy;
}

void KeyService::removeFromUserDefaults(const VDKeySchemePtr& keyScheme)
{
    if (!keyScheme || keyScheme->type() != VDKeySchemeType::custom) return;
    std::lock_guard lock(mutex_);
    if (activeKeyScheme.value() == keyScheme) activate(makeFactoryScheme());
    KeySchemeStore::remove(keyScheme->name.value(), settings(), popup_);
}

VDKeySchemePtr KeyService::installedScheme(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    auto it = keySchemeNameToKeyScheme_.find(name);
    return it == keySchemeNameToKeyScheme_.end() ? nullptr : it->second;
}

VDKeySchemePtr KeyService::resolveInstalled(const VDKeySchemePtr& keyScheme) const
{
    if (!keyScheme) return nullptr;
    std::lock_guard lock(mutex_);
    if (std::find(allKeySchemes_.begin(), allKeySchemes_.end(), keyScheme) != allKeySchemes_.end()) return keyScheme;
    return installedScheme(keyScheme->name.value());
}

EventKeeperPtr KeyService::actionKeeper(const VDKeySchemePtr& keyScheme) const
{
    if (!keyScheme) return nullptr;
    std::lock_guard lock(mutex_);
    auto it = keySchemesToActionKeeper_.find(keyScheme);
    return it == keySchemesToActionKeeper_.end() ? nullptr : it->second;
}

bool KeyService::isActive(const VDKeyScheme* keyScheme) const
{
    const auto active = activeKeyScheme.value();
    if (!active) return false;
    const auto installed = resolveInstalled(active);
    return installed && installed.get() == keyScheme;
}

}  // namespace vandrel
