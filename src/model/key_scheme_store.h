// Custom key schemes in the user settings: "hotkey_customKeySchemeNames" lists the stored names (each once,
// in the order they were added) and "hotkey_allCustomKeySchemes" maps each name to the scheme's compact JSON
// text.
//
// Writing never drops what is stored: a scheme that cannot be encoded is reported and nothing is written;
// entries this build cannot read are kept as they are, and a write or removal under the name of one is
// refused (a write is reported as not saved). Every failure to store is logged and told the user in
// a transient message that says why (the settings store's reason, e.g. "the settings file cannot be written:
// permission denied") and that the change stays in effect until Vandrel quits. Reading
// never writes: a stored scheme that cannot be read is skipped with one logged error and stays stored, and
// its name stays taken (entryNames), so that no new or renamed scheme is ever stored over it.
// Operations may be called from any thread; each runs as one step.
#pragma once

#include <string>
#include <vector>

#include "core/popup_msg.h"
#include "core/settings_store.h"
#include "model/vd_key_scheme.h"

namespace vandrel {

class KeySchemeStore {
public:
    // Stores a "Custom" scheme under its current name: the name is appended to the list when missing (the
    // list loses repeated names on every write) and its entry set to the JSON text. Other types are not
    // stored. True when the scheme was written; a failure is logged and told the user through popup (null:
    // popupMsg).
    static bool write(const VDKeyScheme& scheme, SettingsStore& store, const PopupPresenter& popup = {});

    // Removes every occurrence of the name from the list and its entry from the map, and saves the file.
    // False when the file could not be written: that is logged and told the user through popup (null:
    // popupMsg), since the scheme comes back at the next start.
    static bool remove(const std::string& name, SettingsStore& store, const PopupPresenter& popup = {});
    // The same removal, left for the caller's next write to save (a rename writes the new name at once).
    static void removeUnsaved(const std::string& name, SettingsStore& store);

    struct StoredScheme {
        // The name the scheme is listed under (its JSON carries its own name, normally the same).
        std::string storedName;
        VDKeySchemePtr scheme;
    };
    // The listed schemes that read back, in list order, each listed name once. unreadable (optional) gets
    // the listed names whose stored entry is there but cannot be read.
    static std::vector<StoredScheme> readAll(const SettingsStore& store,
                                             std::vector<std::string>* unreadable = nullptr);
    // Every name the map holds an entry under, readable or not.
    static std::vector<std::string> entryNames(const SettingsStore& store);
};

}  // namespace vandrel
