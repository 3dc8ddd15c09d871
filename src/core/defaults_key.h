// A typed settings key: the key string a value is stored under and the value read when none of the key's
// type is stored. Keys are immutable and may be shared between threads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vandrel {

template <class T>
class DefaultsKey {
    static_assert(std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::string> ||
                      std::is_same_v<T, std::vector<std::string>> ||
                      std::is_same_v<T, std::map<std::string, std::string>>,
                  "settings hold booleans, 64-bit integers, strings, string lists and string maps only");

public:
    using ValueType = T;

    DefaultsKey(std::string key, T defaultValue) : key_(std::move(key)), defaultValue_(std::move(defaultValue)) {}

    const std::string& key() const { return key_; }
    const T& defaultValue() const { return defaultValue_; }

private:
    std::string key_;
    T defaultValue_;
};

}  // namespace vandrel
