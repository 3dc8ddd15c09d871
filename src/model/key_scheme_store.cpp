#include "model/key_scheme_store.h"

#include <mutex>
#include <set>

#include "core/defaults_keys.h"
#include "core/json_limits.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/popup_msg.h"

namespace vandrel {

namespace {

using nlohmann::json;

// Each write or removal reads, changes and stores two values; one at a time keeps them consistent.
std::mutex& storeMutex()
{
    static std::mutex mutex;
    return mutex;
}

const std::string& namesKey()
{
    return DefaultsKeys::hotkey_customKeySchemeNames.key();
}

const std::string& schemesKey()
{
    return DefaultsKeys::hotkey_allCustomKeySchemes.key();
}

// The stored value as it is (a null counts as nothing stored): the typed reading would turn a value with one
// foreign element into the empty default, and writing that back would lose every stored scheme.
json storedValue(const SettingsStore& store, const std::string& key, json empty)
{
    auto value = store.object(key);
    if (!value || value->is_null()) return empty;
    return *value;
}

// Whether a stored entry reads back as a scheme. One that does not is kept as it is: no write or removal by
// its name touches it (a newer build's scheme, or the user's text damaged outside the program).
bool isReadable(const json& entry)
{
    return entry.is_string() && VDKeyScheme::fromJsonText(entry.get_ref<const std::string&>()).ok();
}

// Tells the user why (a clause: "the settings file cannot be written: permission denied") and that the
// scheme in use keeps the change; the log gets the detail as well when there is more of it.
void reportNotSaved(const PopupPresenter& popup, const std::string& name, const std::string& why,
                    const std::string& detail = {})
{
    log.error("Cannot save the key scheme ->", name + ": " + why + (detail.empty() ? "" : " (" + detail + ")"));
    const std::string message =
        localized("Failed to save hotkey scheme ${0}: ${1}. The change stays in effect until Vandrel quits.",
                  localized("\"${0}\"", name), why);
    popup ? popup(message, 10) : popupMsg(message, 10);
}

}  // namespace

bool KeySchemeStore::write(const VDKeyScheme& scheme, SettingsStore& store, const PopupPresenter& popup)
{
    if (scheme.type() != VDKeySchemeType::custom) return false;
    const std::string name = scheme.name.value();
    std::string error;
    const auto text = scheme.toJsonText(&error);
    if (!text) {
        reportNotSaved(popup, name, "it holds text that is not valid UTF-8", error);
        return false;
    }

    std::lock_guard lock(storeMutex());
    json names = storedValue(store, namesKey(), json::array());
    json schemes = storedValue(store, schemesKey(), json::object());
    if (!names.is_array() || !schemes.is_object()) {
        reportNotSaved(popup, name, "the stored custom schemes are not a name list and a map");
        return false;
    }
    if (const auto kept = schemes.find(name); kept != schemes.end() && !isReadable(*kept)) {
        reportNotSaved(popup, name, "a stored scheme of that name cannot be read and is kept as it is");
        return false;
    }

    // Repeated names go on every write; the first of each stays, in order. Foreign elements are kept.
    json uniqueNames = json::array();
    std::set<std::string> seen;
    for (const auto& item : names) {
        if (item.is_string() && !seen.insert(item.get<std::string>()).second) continue;
        uniqueNames.push_back(item);
    }
    if (!seen.count(name)) uniqueNames.push_back(name);
    schemes[name] = *text;

    // The name goes first: a name without its entry is skipped when read, an entry without its name would
    // be dropped as an orphan.
    store.setObject(std::move(uniqueNames), namesKey());
    store.setObject(std::move(schemes), schemesKey());
    // Refused (too deep) or kept only in memory (the file cannot be written): not saved.
    const auto stored = store.object(schemesKey());
    if (!stored || !stored->is_object() || !stored->contains(name)) {
        reportNotSaved(popup, name, "it is nested too deep for the settings file");
        return false;
    }
    if (!store.synchronize()) {
        reportNotSaved(popup, name, store.writeFailure().value_or("the settings file cannot be written"));
        return false;
    }
    return true;
}

bool KeySchemeStore::remove(const std::string& name, SettingsStore& store, const PopupPresenter& popup)
{
    removeUnsaved(name, store);
    if (store.synchronize()) return true;
    const std::string why = store.writeFailure().value_or("the settings file cannot be written");
    log.error("Cannot save the removal of the key scheme ->", name + ": " + why);
    const std::string message =
        localized("Failed to remove hotkey scheme ${0}: ${1}. It comes back when Vandrel starts again.",
                  localized("\"${0}\"", name), why);
    popup ? popup(message, 10) : popupMsg(message, 10);
    return false;
}

void KeySchemeStore::removeUnsaved(const std::string& name, SettingsStore& store)
{
    std::lock_guard lock(storeMutex());
    json schemes = storedValue(store, schemesKey(), json::object());
    // Its name stays listed too: an entry no name lists goes as an orphan at the next start.
    if (const auto kept = schemes.find(name); kept != schemes.end() && !isReadable(*kept)) {
        log.error("A stored custom scheme that cannot be read is kept, not removed ->", excerpt(name));
        return;
    }
    json names = storedValue(store, namesKey(), json::array());
    if (names.is_array()) {
        const auto before = names.size();
        json kept = json::array();
        for (const auto& item : names)
            if (!(item.is_string() && item.get<std::string>() == name)) kept.push_back(item);
        if (kept.size() != before) store.setObject(std::move(kept), namesKey());
    } else {
        log.error("The stored custom scheme names are not a list, left as they are ->", name);
    }
    if (schemes.is_object()) {
        if (schemes.erase(name) > 0) store.setObject(std::move(schemes), schemesKey());
    } else {
        log.error("The stored custom schemes are not a map, left as they are ->", name);
    }
}

std::vector<KeySchemeStore::StoredScheme> KeySchemeStore::readAll(const SettingsStore& store,
                                                                  std::vector<std::string>* unreadable)
{
    std::lock_guard lock(storeMutex());
    const json names = storedValue(store, namesKey(), json::array());
    if (!names.is_array()) {
        log.error("The stored custom scheme names are not a list, nothing restored ->", jsonExcerpt(names));
        return {};
    }
    const json schemes = storedValue(store, schemesKey(), json::object());

    std::vector<StoredScheme> out;
    std::set<std::string> seen;
    for (const auto& item : names) {
        if (!item.is_string()) {
            log.error("A stored custom scheme name is not text, skipped ->", jsonExcerpt(item));
            continue;
        }
        const auto& name = item.get_ref<const std::string&>();
        if (!seen.insert(name).second) continue;
        auto skip = [&name, unreadable](const std::string& why, bool stored = true) {
            log.error("A stored custom scheme cannot be read, skipped ->", excerpt(name) + ": " + why);
            if (stored && unreadable) unreadable->push_back(name);
        };
        const auto entry = schemes.find(name);  // end() as well when the map is not a map
        if (entry == schemes.end()) {
            skip("no stored scheme under that name", false);
            continue;
        }
        if (!entry->is_string()) {
            skip("the stored scheme is not text");
            continue;
        }
        auto scheme = VDKeyScheme::fromJsonText(entry->get_ref<const std::string&>());
        if (!scheme) {
            skip(scheme.error());
            continue;
        }
        out.push_back({name, std::move(scheme).value()});
    }
    return out;
}

std::vector<std::string> KeySchemeStore::entryNames(const SettingsStore& store)
{
    std::lock_guard lock(storeMutex());
    const json schemes = storedValue(store, schemesKey(), json::object());
    std::vector<std::string> names;
    if (schemes.is_object())
        for (const auto& [name, entry] : schemes.items()) names.push_back(name);
    return names;
}

}  // namespace vandrel
