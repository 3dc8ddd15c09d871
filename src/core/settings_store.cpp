#include "core/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <QUuid>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <shared_mutex>

#include "core/checked_file.h"
#include "core/defaults_keys.h"
#include "core/json_limits.h"
#include "core/log.h"
#include "core/private_files.h"
#include "core/set_aside_files.h"
#include "rx/subjects.h"

namespace vandrel {

namespace fs = std::filesystem;
using nlohmann::json;

struct SettingsStore::State {
    fs::path folder;
    fs::path file;

    mutable std::shared_mutex mutex;
    std::map<std::string, json, std::less<>> values;
    std::uint64_t generation = 0;  // bumped by every change

    // Serialises disk writes; the latest writer always writes the latest values.
    std::mutex fileMutex;
    std::uint64_t writtenGeneration = 0;
    bool writeFailing = false;
    // What writeFailure() tells, while the file lacks values.
    std::optional<std::string> failureForUser;
    // Set when an unreadable file could not be moved aside: writing would destroy it.
    bool writesBlocked = false;

    WholeFileWriter writer;
    rx::PublishSubject<std::string> changes;

    void load();
    void setAside(const std::string& why);
    bool persist(std::uint64_t upTo);
    std::uint64_t change(const std::string& key, std::optional<json> value);
};

namespace {

template <class T>
std::optional<T> typedValue(const json& value);

template <>
std::optional<bool> typedValue<bool>(const json& value)
{
    if (value.is_boolean()) return value.get<bool>();
    return std::nullopt;
}

template <>
std::optional<std::int64_t> typedValue<std::int64_t>(const json& value)
{
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<std::int64_t>(u);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    return std::nullopt;
}

template <>
std::optional<std::string> typedValue<std::string>(const json& value)
{
    if (value.is_string()) return value.get<std::string>();
    return std::nullopt;
}

template <>
std::optional<std::vector<std::string>> typedValue<std::vector<std::string>>(const json& value)
{
    if (!value.is_array()) return std::nullopt;
    std::vector<std::string> out;
    out.reserve(value.size());
    for (const auto& item : value) {
        if (!item.is_string()) return std::nullopt;
        out.push_back(item.get<std::string>());
    }
    return out;
}

template <>
std::optional<std::map<std::string, std::string>> typedValue<std::map<std::string, std::string>>(const json& value)
{
    if (!value.is_object()) return std::nullopt;
    std::map<std::string, std::string> out;
    for (const auto& [k, v] : value.items()) {
        if (!v.is_string()) return std::nullopt;
        out.emplace(k, v.get<std::string>());
    }
    return out;
}

std::string timestampForFileName()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The system's reason that ends a writer's message ("cannot replace <file>: Permission denied" gives
// "permission denied"); a message without one is taken whole.
std::string systemReason(const std::string& failure)
{
    const auto colon = failure.rfind(": ");
    std::string reason = colon == std::string::npos ? failure : failure.substr(colon + 2);
    const bool acronym = reason.size() > 1 && std::isupper(static_cast<unsigned char>(reason[1]));
    if (!reason.empty() && !acronym) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

fs::path freeAsideName(const fs::path& file)
{
    const std::string base = file.string() + ".corrupt-" + timestampForFileName();
    fs::path candidate = base;
    std::error_code ec;
    for (int n = 1; fs::exists(candidate, ec); ++n) candidate = base + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

void SettingsStore::State::load()
{
    // A folder, a pipe, a device or a huge file in its place: nothing is read, and a pipe must not block the
    // start.
    const CheckedRead read = CheckedFile::read(file, kMaxFileBytes);
    if (read.failure == CheckedRead::Failure::missing) return;
    if (!read) {
        setAside("it cannot be read (" + read.reason + ")");
        return;
    }
    const std::string text = read.bytes.toStdString();

    if (jsonTextNesting(text) > kMaxJsonNesting) {
        setAside("it is nested more than " + std::to_string(kMaxJsonNesting) + " deep");
        return;
    }
    json parsed = json::parse(text, nullptr, false);
    if (!parsed.is_discarded() && parsed.is_object()) {
        for (auto& [k, v] : parsed.items()) values.emplace(k, std::move(v));
        return;
    }
    setAside("it is not a JSON object");
}

void SettingsStore::State::setAside(const std::string& why)
{
    std::error_code ec;
    const fs::path aside = freeAsideName(file);
    fs::rename(file, aside, ec);
    if (ec) {
        // Writing would destroy what is there: keep it and the values in memory only.
        writesBlocked = true;
        failureForUser = "the settings file cannot be written: it cannot be read and is kept as it is";
        log.error("settings file cannot be used and cannot be moved aside; using defaults and leaving it untouched ->",
                  file.string() + ": " + why + "; " + ec.message());
    } else {
        log.error("settings file cannot be used; moved it aside and using defaults ->",
                  file.string() + ": " + why + " -> " + aside.string());
        SetAsideFiles::report({SetAsideFile::Kind::settings, file, aside, why});
    }
}

bool SettingsStore::State::persist(std::uint64_t upTo)
{
    std::string failure;
    bool recovered = false;
    {
        std::lock_guard fileLock(fileMutex);
        if (writtenGeneration >= upTo) return true;
        if (writesBlocked) return false;

        json document = json::object();
        std::uint64_t snapshotGeneration = 0;
        {
            std::shared_lock lock(mutex);
            for (const auto& [k, v] : values) document[k] = v;
            snapshotGeneration = generation;
        }
        // Replace bad UTF-8 rather than fail: a setting must never make the whole file unwritable.
        const std::string text = document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";

        if (auto error = createPrivateFolder(folder)) {
            failure = *error;
        } else if (auto writeError = writer.write(file, text, kPrivateFileMode)) {
            failure = *writeError;
        }

        if (failure.empty()) {
            writtenGeneration = snapshotGeneration;
            recovered = writeFailing;
            writeFailing = false;
            failureForUser.reset();
        } else {
            failureForUser = "the settings file cannot be written: " + systemReason(failure);
            if (writeFailing) return false;  // already reported; stay quiet until it works again
            writeFailing = true;
        }
    }
    if (!failure.empty()) {
        log.error("cannot write the settings file; keeping the values in memory ->", file.string() + ": " + failure);
        return false;
    }
    if (recovered) log.info("settings file written again ->", file.string());
    return true;
}

std::uint64_t SettingsStore::State::change(const std::string& key, std::optional<json> value)
{
    std::unique_lock lock(mutex);
    if (value) {
        values.insert_or_assign(key, std::move(*value));
    } else {
        values.erase(key);
    }
    return ++generation;
}

fs::path SettingsStore::standardFolder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path base;
    if (config && *config && fs::path(config).is_absolute()) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".config";
    }
    return base / "Vandrel";
}

SettingsStore::SettingsStore(fs::path folder, std::string fileName, WholeFileWriter writer)
    : state_(std::make_shared<State>())
{
    state_->writer = std::move(writer);
    state_->folder = std::move(folder);
    state_->file = state_->folder / fileName;
    state_->load();
}

SettingsStore::~SettingsStore() = default;

const fs::path& SettingsStore::filePath() const
{
    return state_->file;
}

template <class T>
T SettingsStore::get(const DefaultsKey<T>& key) const
{
    std::shared_lock lock(state_->mutex);
    const auto it = state_->values.find(key.key());
    if (it == state_->values.end()) return key.defaultValue();
    auto typed = typedValue<T>(it->second);
    return typed ? std::move(*typed) : key.defaultValue();
}

template <class T>
void SettingsStore::set(const DefaultsKey<T>& key, const T& value)
{
    setObject(json(value), key.key());
}

std::optional<json> SettingsStore::object(std::string_view key) const
{
    std::shared_lock lock(state_->mutex);
    const auto it = state_->values.find(key);
    if (it == state_->values.end()) return std::nullopt;
    return it->second;
}

std::optional<json> SettingsStore::persistentDomain() const
{
    std::shared_lock lock(state_->mutex);
    std::error_code ec;
    if (state_->values.empty() && !fs::exists(state_->file, ec)) return std::nullopt;
    json domain = json::object();
    for (const auto& [k, v] : state_->values) domain[k] = v;
    return domain;
}

std::optional<std::string> SettingsStore::string(std::string_view key) const
{
    std::shared_lock lock(state_->mutex);
    const auto it = state_->values.find(key);
    if (it == state_->values.end() || !it->second.is_string()) return std::nullopt;
    return it->second.get<std::string>();
}

void SettingsStore::setObject(json value, const std::string& key)
{
    // The file's own object is one more level: deeper, the file could not be read back.
    if (!jsonWithinNesting(value, kMaxJsonNesting - 1)) {
        log.error("a setting nested " + std::to_string(kMaxJsonNesting) + " or more deep is not stored ->",
                  excerpt(key));
        return;
    }
    const auto generation = state_->change(key, std::move(value));
    state_->persist(generation);
    state_->changes.onNext(key);
}

void SettingsStore::removeObject(const std::string& key)
{
    const auto generation = state_->change(key, std::nullopt);
    state_->persist(generation);
    state_->changes.onNext(key);
}

std::optional<std::string> SettingsStore::writeFailure() const
{
    std::lock_guard fileLock(state_->fileMutex);
    return state_->failureForUser;
}

bool SettingsStore::synchronize()
{
    std::uint64_t generation = 0;
    {
        std::shared_lock lock(state_->mutex);
        generation = state_->generation;
    }
    // Nothing changed since the file was read: it already holds everything.
    if (generation == 0) return !state_->writesBlocked;
    return state_->persist(generation);
}

std::string SettingsStore::uniqueUserIdentifier(bool* created)
{
    const std::string key = DefaultsKeys::googleReporter_uniqueUserIdentifier;
    std::string identifier;
    std::uint64_t generation = 0;
    {
        // Check and create under one lock, so two threads never make two identifiers.
        std::unique_lock lock(state_->mutex);
        const auto it = state_->values.find(key);
        if (it != state_->values.end() && it->second.is_string()) {
            if (created) *created = false;
            return it->second.get<std::string>();
        }
        identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
        state_->values.insert_or_assign(key, identifier);
        generation = ++state_->generation;
    }
    if (created) *created = true;
    state_->persist(generation);
    state_->changes.onNext(key);
    return identifier;
}

rx::Observable<std::string> SettingsStore::changedKeys() const
{
    return state_->changes.asObservable();
}

template <class T>
rx::Observable<T> SettingsStore::observe(const DefaultsKey<T>& key) const
{
    const std::weak_ptr<State> weakState = state_;
    auto changes = state_->changes.asObservable();
    const DefaultsKey<T> keyCopy = key;
    auto read = [weakState, keyCopy]() -> T {
        const auto state = weakState.lock();
        if (!state) return keyCopy.defaultValue();
        std::shared_lock lock(state->mutex);
        const auto it = state->values.find(keyCopy.key());
        if (it == state->values.end()) return keyCopy.defaultValue();
        auto typed = typedValue<T>(it->second);
        return typed ? std::move(*typed) : keyCopy.defaultValue();
    };
    return rx::Observable<T>::create([changes, keyCopy, read](rx::Observer<T> observer) {
        auto subscription = changes.subscribe([observer, keyCopy, read](const std::string& changed) {
            if (changed == keyCopy.key()) observer.next(read());
        });
        observer.next(read());
        return subscription;
    });
}

rx::Observable<std::optional<json>> SettingsStore::observeObject(const std::string& key) const
{
    const std::weak_ptr<State> weakState = state_;
    auto changes = state_->changes.asObservable();
    auto read = [weakState, key]() -> std::optional<json> {
        const auto state = weakState.lock();
        if (!state) return std::nullopt;
        std::shared_lock lock(state->mutex);
        const auto it = state->values.find(key);
        if (it == state->values.end()) return std::nullopt;
        return it->second;
    };
    return rx::Observable<std::optional<json>>::create(
        [changes, key, read](rx::Observer<std::optional<json>> observer) {
            auto subscription = changes.subscribe([observer, key, read](const std::string& changed) {
                if (changed == key) observer.next(read());
            });
            observer.next(read());
            return subscription;
        });
}

template bool SettingsStore::get(const DefaultsKey<bool>&) const;
template std::int64_t SettingsStore::get(const DefaultsKey<std::int64_t>&) const;
template std::string SettingsStore::get(const DefaultsKey<std::string>&) const;
template std::vector<std::string> SettingsStore::get(const DefaultsKey<std::vector<std::string>>&) const;
template std::map<std::string, std::string> SettingsStore::get(
    const DefaultsKey<std::map<std::string, std::string>>&) const;

template void SettingsStore::set(const DefaultsKey<bool>&, const bool&);
template void SettingsStore::set(const DefaultsKey<std::int64_t>&, const std::int64_t&);
template void SettingsStore::set(const DefaultsKey<std::string>&, const std::string&);
template void SettingsStore::set(const DefaultsKey<std::vector<std::string>>&, const std::vector<std::string>&);
template void SettingsStore::set(const DefaultsKey<std::map<std::string, std::string>>&,
                                 const std::map<std::string, std::string>&);

template rx::Observable<bool> SettingsStore::observe(const DefaultsKey<bool>&) const;
template rx::Observable<std::int64_t> SettingsStore::observe(const DefaultsKey<std::int64_t>&) const;
template rx::Observable<std::string> SettingsStore::observe(const DefaultsKey<std::string>&) const;
template rx::Observable<std::vector<std::string>> SettingsStore::observe(
    const DefaultsKey<std::vector<std::string>>&) const;
template rx::Observable<std::map<std::string, std::string>> SettingsStore::observe(
    const DefaultsKey<std::map<std::string, std::string>>&) const;

}  // namespace vandrel
