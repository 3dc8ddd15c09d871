// A pasteboard: the general one (the desktop clipboard) or a named one private to the program. Its change
// count moves on every change of owner (clear or declare), so a poller can tell that the content changed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/pasteboard_item.h"

namespace vandrel {

// Every call may be made from any thread.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    virtual std::string name() const = 0;
    virtual std::int64_t changeCount() const = 0;

    // Empties the pasteboard; returns the new change count.
    virtual std::int64_t clearContents() = 0;
    // Empties the pasteboard and declares one item with the given types, whose data is set afterwards with
    // setData or setString; returns the new change count.
    virtual std::int64_t declareTypes(const std::vector<PasteboardType>& types) = 0;
    // Adds items after the current ones (write after clearContents to replace the content); false when
    // the pasteboard refused them.
    virtual bool writeObjects(const std::vector<PasteboardItem>& items) = 0;

    // Absent when the pasteboard cannot be read.
    virtual std::optional<std::vector<PasteboardItem>> pasteboardItems() const = 0;

    // A read that stops at a size limit: the items, or, when their data is larger than limitBytes, none
    // and the size seen (more than the limit). Where the platform can tell the size first, large content is
    // never read whole; by default everything is read, then measured. No items and stalled: the owner does
    // not hand its content over, and asking again before the pasteboard changes gives nothing either.
    struct BoundedItems {
        std::optional<std::vector<PasteboardItem>> items;
        std::int64_t skippedBytes = 0;
        bool stalled = false;
    };
    virtual BoundedItems boundedItems(std::int64_t limitBytes) const { return measured(pasteboardItems(), limitBytes); }
    static BoundedItems measured(std::optional<std::vector<PasteboardItem>> items, std::int64_t limitBytes)
    {
        std::int64_t bytes = 0;
        if (items)
            for (const auto& item : *items)
                for (const auto& type : item.types())
                    if (const auto data = item.data(type)) bytes += static_cast<std::int64_t>(data->size());
        if (bytes > limitBytes) return {std::nullopt, bytes};
        return {std::move(items), 0};
    }
    // The types of the first item.
    virtual std::vector<PasteboardType> types() const = 0;
    virtual std::optional<PasteboardData> data(const PasteboardType& type) const = 0;
    virtual std::optional<std::string> string(const PasteboardType& type) const = 0;
    // Set data on the first item (made when there is none).
    virtual bool setData(const PasteboardData& data, const PasteboardType& type) = 0;
    virtual bool setString(const std::string& text, const PasteboardType& type) = 0;

    // Whether the pasteboard tells when another application fetches the content the program put on it.
    virtual bool reportsFetches() const { return false; }
    // Called, on any thread, each time another application fetches data of the program's own content (an
    // application fetches when it pastes). Null: none. Only where reportsFetches().
    virtual void setFetchHandler(std::function<void()> handler) { (void)handler; }

    // Whether the pasteboard tells of every move of its change count, so that nobody has to poll it.
    virtual bool reportsChanges() const { return false; }
    // Called, on any thread, after the change count moved. Null: none. Only where reportsChanges().
    virtual void setChangeHandler(std::function<void()> handler) { (void)handler; }
};

}  // namespace vandrel
