// The typed user settings: a JSON file of key -> value, read once into memory and written through at once
// on every change (atomically: temporary file and rename). Reads never touch the disk.
//
//   SettingsStore store(SettingsStore::standardFolder());
//   bool pinned = store[DefaultsKeys::cheatSheet_isWindowPined];    // the key's default when not stored
//   store[DefaultsKeys::cheatSheet_isWindowPined] = false;           // stored at once
//
// A value of another type than the key's reads as the key's default and stays in the file untouched until
// the key is written. Defaults are never written back.
//
// Whatever is in place of the file, the store opens: anything that cannot be used as the file (not a JSON
// object, nested more than kMaxJsonNesting deep, unreadable, a folder, a pipe, larger than kMaxFileBytes) is moved
// aside (settings.json.corrupt-<time>, reported to SetAsideFiles) with one logged error and the store starts from
// defaults; when it cannot be moved aside, it is left untouched and never written over (values stay in memory).
//
// Writes go through WholeFileWriter (0600 file, 0700 folder): a write that fails at any step leaves the old
// file as it was, is logged once until a write works again, and the store keeps the values in memory;
// synchronize() reports whether the file holds them and writeFailure() why not, in words for the user. A value that
// would put the file past kMaxJsonNesting (one level is the file's own object) is refused with a logged error. Every
// member may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/defaults_key.h"
#include "core/whole_file_writer.h"
#include "rx/observable.h"

namespace vandrel {

class SettingsStore;

// What `store[key]` yields: reads as the key's value, assignment stores.
template <class T>
class DefaultsProxy {
public:
    DefaultsProxy(SettingsStore& store, const DefaultsKey<T>& key) : store_(store), key_(key) {}

    T value() const;
    operator T() const { return value(); }
    DefaultsProxy& operator=(const T& value);
    friend bool operator==(const DefaultsProxy& proxy, const T& value) { return proxy.value() == value; }

private:
    SettingsStore& store_;
    const DefaultsKey<T>& key_;
};

class SettingsStore {
public:
    static constexpr const char* standardFileName = "settings.json";
    // The suite shared with the login-item helper.
    static constexpr const char* groupFileName = "group-settings.json";
    // A settings file larger than this is not read (a file of every setting and many schemes is some KB).
    static constexpr std::uint64_t kMaxFileBytes = 32 * 1024 * 1024;

    // $XDG_CONFIG_HOME/Vandrel, or ~/.config/Vandrel when it is not set.
    static std::filesystem::path standardFolder();

    // The writer is for tests that make writes fail.
    explicit SettingsStore(std::filesystem::path folder, std::string fileName = standardFileName,
                           WholeFileWriter writer = WholeFileWriter());
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    template <class T>
    T get(const DefaultsKey<T>& key) const;
    template <class T>
    void set(const DefaultsKey<T>& key, const T& value);
    void set(const DefaultsKey<std::string>& key, const char* value) { set(key, std::string(value)); }

    template <class T>
    DefaultsProxy<T> operator[](const DefaultsKey<T>& key)
    {
        return DefaultsProxy<T>(*this, key);
    }

    // Untyped access by key string, for the few keys outside DefaultsKeys.
    std::optional<nlohmann::json> object(std::string_view key) const;
    std::optional<std::string> string(std::string_view key) const;
    void setObject(nlohmann::json value, const std::string& key);
    void removeObject(const std::string& key);
    // Every stored value as one JSON object, or none when nothing is stored and the settings file does not
    // exist (a store that was never written to).
    std::optional<nlohmann::json> persistentDomain() const;
    // Writes what is in memory if an earlier write failed; true when the file holds every value.
    bool synchronize();
    // Why the file does not hold every value, as a clause to show the user ("the settings file cannot be
    // written: permission denied"); none once a write worked, or while none failed.
    std::optional<std::string> writeFailure() const;

    // The anonymous client identifier of usage reporting: the stored text, or a new upper-case UUID that is
    // stored and written to disk at once. `created` (optional) tells which.
    std::string uniqueUserIdentifier(bool* created = nullptr);

    // The key string of every change, on the writing thread, after the change is in memory.
    rx::Observable<std::string> changedKeys() const;
    // The key's value now, then after every write of the key.
    template <class T>
    rx::Observable<T> observe(const DefaultsKey<T>& key) const;
    // The stored value now (absent when none), then after every write or removal of the key.
    rx::Observable<std::optional<nlohmann::json>> observeObject(const std::string& key) const;

    const std::filesystem::path& filePath() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

template <class T>
T DefaultsProxy<T>::value() const
{
    return store_.get(key_);
}

template <class T>
DefaultsProxy<T>& DefaultsProxy<T>::operator=(const T& value)
{
    store_.set(key_, value);
    return *this;
}

}  // namespace vandrel
