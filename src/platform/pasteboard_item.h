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
    // Images as the desktop offers them; an item carries at most one of these.
    static inline const PasteboardType png = "public.png";
    static inline const PasteboardType jpeg = "public.jpeg";
    static inline const PasteboardType bmp = "com.microsoft.bmp";
    static inline const PasteboardType gif = "com.compuserve.gif";
    static inline const PasteboardType webp = "org.webmproject.webp";
    // Password managers mark what they copy with this type and the value "secret"; such content is kept
    // out of every history.
    static inline const PasteboardType concealed = "x-kde-passwordManagerHint";
    static inline const std::string concealedValue = "secret";
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

// New items holding a copy of every type's data of the given ones, one per item, so that they can be
// written to another pasteboard.
inline std::vector<PasteboardItem> copy(const std::vector<PasteboardItem>& items)
{
    std::vector<PasteboardItem> out;
    out.reserve(items.size());
    for (const auto& item : items) {
        PasteboardItem fresh;
        for (const auto& type : item.types())
            if (auto data = item.data(type)) fresh.setData(type, std::move(*data));
        out.push_back(std::move(fresh));
    }
    return out;
}

// Per item, its data and the matching types, index by index.
struct PasteboardItemParts {
    std::vector<std::vector<PasteboardData>> datas;
    std::vector<std::vector<PasteboardType>> types;
};

inline PasteboardItemParts extractNSDataAndTypes(const std::vector<PasteboardItem>& items)
{
    PasteboardItemParts parts;
    for (const auto& item : items) {
        auto& datas = parts.datas.emplace_back();
        auto& types = parts.types.emplace_back();
        for (const auto& type : item.types()) {
            if (auto data = item.data(type)) {
                datas.push_back(std::move(*data));
                types.push_back(type);
            }
        }
    }
    return parts;
}

// Whether a password manager marked the content as secret.
inline bool isConcealed(const std::vector<PasteboardItem>& items)
{
    for (const auto& item : items) {
        const auto hint = item.string(PasteboardTypes::concealed);
        if (hint && *hint == PasteboardTypes::concealedValue) return true;
    }
    return false;
}

}  // namespace vandrel
