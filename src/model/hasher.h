// A deterministic hasher for model values whose hash is defined by the texts they feed into it (action
// parameters, key settings). Each text is followed by a separator byte, so ("ab", "c") and ("a", "bc")
// hash differently.
#pragma once

#include <cstdint>
#include <string_view>

namespace vandrel {

class Hasher {
public:
    void combine(std::string_view text)
    {
        for (unsigned char c : text) mix(c);
        mix(0xFF);
    }

    void combine(std::int64_t value)
    {
        auto u = static_cast<std::uint64_t>(value);
        for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(u >> (8 * i)));
    }

    std::uint64_t finalize() const { return state_; }

private:
    // FNV-1a, 64 bit.
    void mix(unsigned char byte)
    {
        state_ ^= byte;
        state_ *= 0x100000001b3ULL;
    }

    std::uint64_t state_ = 0xcbf29ce484222325ULL;
};

}  // namespace vandrel
