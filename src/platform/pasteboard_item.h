// One item of a pasteboard: its data under one or more types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vandrel {

// Type identifiers of pasteboard data. The Linux backend maps them to and from MIME types.
using PasteboardType = std::string;
using PasteboardData = std::vector<std::uint8_t>;

struct PasteboardTypes {
    static inline const PasteboardType string = "public.utf8-plain-text";
    static inline const PasteboardType rtf = "public.rtf";
    static inline const PasteboardType rtfd = "com.apple.flat-rtfd";
    static inline const PasteboardType pdf = "com.adobe.pdf";
    static inline const PasteboardType fileUrl = "public.file-url";
    static inline const PasteboardType url = "public.url";
    static inline const PasteboardType tiff = "public.tiff";
    static inline const PasteboardType html = "public.html";
};

class PasteboardItem {
public:
    // Types in the order their data was first set.
    std::vector<PasteboardType> types() const
    {
        std::vector<PasteboardType> out;
        out.reserve(entries_.size());
        for (const auto& e : entries_) out.push_back(e.first);
        return out;
    }

    std::optional<PasteboardData> data(const PasteboardType& type) const
    {
        for (const auto& e : entries_)
            if (e.first == type) return e.second;
        return std::nullopt;
    }

    std::optional<std::string> string(const PasteboardType& type) const
    {
        auto d = data(type);
        if (!d) return std::nullopt;
        return std::string(d->begin(), d->end());
    }

    void setData(const PasteboardType& type, PasteboardData data)
    {
        for (auto& e : entries_) {
            if (e.first == type) {
                e.second = std::move(data);
                return;
            }
        }
        entries_.emplace_back(type, std::move(data));
    }

    void setString(const PasteboardType& type, const std::string& text)
    {
        setData(type, PasteboardData(text.begin(), text.end()));
    }

    bool operator==(const PasteboardItem&) const = default;

private:
    std::vector<std::pair<PasteboardType, PasteboardData>> entries_;
};

}  // namespace vandrel
