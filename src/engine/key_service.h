// The registry of installed key schemes and the source of the action table delivery reads.
//
// It keeps one action table per installed scheme (rebuilt whenever that scheme's settings change), holds the
// active scheme, publishes its table (currentEventKeeper) and the conflict-free table derived from it
// (currentEventKeeperWithoutConflicting, the only one delivery reads), fills the window slots' keys, and
// keeps the settings in step: the active scheme's name, renames of custom schemes, the scheme version. At
// start-up it restores the custom schemes stored as JSON and re-activates the one that was active last.
//
// Tables are keyed by the installed scheme object, never by its changeable name; a scheme handed to
// activate() that is not installed but carries an installed scheme's name stands for that installed scheme.
// Every operation that changes the service runs under one lock, so the start-up on the key-event queue and
// edits from the main thread never interleave. Tables are published complete and never changed.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/popup_msg.h"
#include "core/settings_store.h"
#include "engine/event_keeper.h"
#include "engine/window_binding_service.h"
#include "model/vd_key_scheme.h"
#include "rx/rx.h"

namespace vandrel {

class KeyService : public std::enable_shared_from_this<KeyService> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    struct Dependencies {
        // Builds the default factory scheme, a new object on every call. Null: an empty built-in scheme named
        // "Vandrel" stands in (logged), so the hidden keys still work.
        std::function<VDKeySchemePtr()> factoryScheme;
        // Gets the slot keys of every new conflict-free table; may be null.
        std::shared_ptr<WindowBindingService> windowBindingService;
        // Null: the process-wide user settings (Defaults()), looked up at each use.
        std::shared_ptr<SettingsStore> settings;
        // What every table's hidden keyboard-map key does (see EventKeeper).
        EventKeeper::ShowKeyboardMap showKeyboardMap;
        // Shows the messages to the user. Null: popupMsg.
        PopupPresenter popup;
    };

    static std::shared_ptr<KeyService> make(Dependencies dependencies);
    KeyService(Passkey, Dependencies dependencies);
    KeyService(const KeyService&) = delete;
    KeyService& operator=(const KeyService&) = delete;

    // The factory schemes, built once with the service. Never empty.
    const std::vector<VDKeySchemePtr>& availableBuildInKeyScheme() const { return availableBuildInKeyScheme_; }
    // A new instance of the default factory scheme.
    VDKeySchemePtr makeFactoryScheme() const;

    // Wires the relays; once, before the first install. Later calls do nothing.
    void startMonitoring();
    // Makes the scheme known: appended to availableKeySchemes, found by its name, its table built and
    // followed (renames, settings changes). Installing the same object again does nothing.
    void install(const VDKeySchemePtr& keyScheme);
    // Installs the stored custom schemes (not one stored under a factory scheme's name, nor one whose name
    // is an installed scheme's or another stored entry's) and removes stored entries no name lists. Stored
    // schemes that cannot be read are told the user once, by name; they stay stored as they are.
    void restoreKeySchemesFromUserDefault();
    // Activates the installed scheme whose name the settings hold as current, if any.
    void activateCurrentKeySchemeFromUserDefault();
    // Records the scheme format version when none is recorded.
    void analyzeAndRecordCurrentVandrelVersion();

    // The start-up sequence on the calling thread: startMonitoring, install the factory schemes, activate the
    // first, restore the stored schemes, activate the stored current one, record the version.
    void setUpAtLaunch();

    // --- scheme operations of the editor ----------------------------------------------------------------
    // Makes the scheme active: an installed scheme of the same name stands for it, otherwise it is installed.
    void activate(const VDKeySchemePtr& keyScheme);
    // A new "Custom" copy of the scheme (same setting objects) with a name that is not taken: the base (or
    // the scheme's name), else the base followed by " 2", " 3", ... Nothing is installed.
    VDKeySchemePtr transformToANewCustom(const VDKeyScheme& keyScheme,
                                         const std::optional<std::string>& baseName = std::nullopt) const;
    // The one rule for the names of new and renamed schemes. A name is taken when a listed scheme other than
    // `renamed` has it, or when the settings hold a stored scheme under it that is not `renamed`'s own entry
    // (storedAs: the name that entry is under, by default `renamed`'s current name); that name itself is
    // never taken for `renamed`. A stored scheme that cannot be read counts too: storing a scheme under its
    // name would lose it. Names compare without the spaces around them.
    bool isNameTaken(const std::string& name, const VDKeyScheme* renamed = nullptr,
                     const std::optional<std::string>& storedAs = std::nullopt) const;
    // Every edit of a scheme goes through here. A custom or per-application scheme is changed in place and
    // null returned (the caller stores it). A factory scheme is never changed: a custom copy is derived,
    // modified, installed, activated, announced, stored and returned.
    VDKeySchemePtr modifyButCreateACutomSchemeForBuildInScheme(const VDKeySchemePtr& keyScheme,
                                                               const std::function<void(VDKeyScheme&)>& modification);
    // Removes a custom scheme's stored entries; when it is the active scheme, the default factory scheme is
    // activated first. The scheme stays installed.
    void removeFromUserDefaults(const VDKeySchemePtr& keyScheme);

    // The installed scheme of that current name, or null.
    VDKeySchemePtr installedScheme(const std::string& name) const;
    // The installed scheme that stands for this one: itself when installed, else the installed one of its
    // name, else null.
    VDKeySchemePtr resolveInstalled(const VDKeySchemePtr& keyScheme) const;
    // The table of an installed scheme, or null.
    EventKeeperPtr actionKeeper(const VDKeySchemePtr& keyScheme) const;

    // Installed schemes in install order, as shown to the user.
    const rx::BehaviorRelay<std::vector<VDKeySchemePtr>> availableKeySchemes{std::vector<VDKeySchemePtr>{}};
    // The active scheme; write it through activate().
    const rx::BehaviorRelay<VDKeySchemePtr> activeKeyScheme{nullptr};
    // Nothing sets it: delivery always follows activeKeyScheme.
    const rx::BehaviorRelay<VDKeySchemePtr> activeKeySchemeForApp{nullptr};
    // The active scheme's table, and that table less the active scheme's conflicting keys.
    const rx::BehaviorRelay<EventKeeperPtr> currentEventKeeper{nullptr};
    const rx::BehaviorRelay<EventKeeperPtr> currentEventKeeperWithoutConflicting{nullptr};

private:
    SettingsStore& settings() const;
    bool isActive(const VDKeyScheme* keyScheme) const;
    void rebuildTable(const VDKeySchemePtr& keyScheme);
    void handleRename(const VDKeySchemePtr& keyScheme, const std::string& previousName, const std::string& newName);
    void refillWindowBindingKeys(const EventKeeper& table);
    void removeOrphanedStoredSchemes(const std::vector<std::string>& listedNames);
    // The taken names (without their surrounding spaces), as isNameTaken() counts them.
    std::set<std::string> takenNames(const VDKeyScheme* renamed, const std::optional<std::string>& storedAs) const;
    void tellUnreadable(const std::vector<std::string>& names);

    const std::shared_ptr<WindowBindingService> windowBindingService_;
    const std::shared_ptr<SettingsStore> settings_;
    const std::function<VDKeySchemePtr()> factoryScheme_;
    const EventKeeper::ShowKeyboardMap showKeyboardMap_;
    const PopupPresenter popup_;
    const std::vector<VDKeySchemePtr> availableBuildInKeyScheme_;

    mutable std::recursive_mutex mutex_;
    bool monitoring_ = false;
    std::vector<VDKeySchemePtr> allKeySchemes_;
    std::unordered_map<std::string, VDKeySchemePtr> keySchemeNameToKeyScheme_;
    std::unordered_map<VDKeySchemePtr, EventKeeperPtr> keySchemesToActionKeeper_;
    // The unreadable stored schemes the user was told of.
    std::set<std::string> toldUnreadable_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
