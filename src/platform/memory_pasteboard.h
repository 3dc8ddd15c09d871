// A pasteboard held in memory: the named pasteboards of every backend, and the general one of the simulated
// platform. Thread-safe.
#pragma once

#include <mutex>

#include "platform/pasteboard.h"

namespace vandrel {

class MemoryPasteboard final : public Pasteboard {
public:
    explicit MemoryPasteboard(std::string name);

    std::string name() const override { return name_; }
    std::int64_t changeCount() const override;
    std::int64_t clearContents() override;
    std::int64_t declareTypes(const std::vector<PasteboardType>& types) override;
    bool writeObjects(const std::vector<PasteboardItem>& items) override;
    std::optional<std::vector<PasteboardItem>> pasteboardItems() const override;
    std::vector<PasteboardType> types() const override;
    std::optional<PasteboardData> data(const PasteboardType& type) const override;
    std::optional<std::string> string(const PasteboardType& type) const override;
    bool setData(const PasteboardData& data, const PasteboardType& type) override;
    bool setString(const std::string& text, const PasteboardType& type) override;

    // The simulated desktop's owner that fails to hand over its content: the next `count` reads of the
    // items answer absent, as a dead or silent clipboard owner does; `stalled`: bounded reads say that asking
    // again gives nothing either, as the desktop clipboard says of an owner that let its transfer time out.
    void failNextReads(int count, bool stalled = false);
    BoundedItems boundedItems(std::int64_t limitBytes) const override;
    // The simulated desktop refusing the program the clipboard, as an X server does when another application took
    // it a moment before: until `count` writes (writeObjects, setData) were refused, clears and writes change
    // nothing and writes return false.
    void refuseWrites(int count);

    bool reportsFetches() const override { return true; }
    void setFetchHandler(std::function<void()> handler) override;
    // Another application of the simulated desktop pastes: it fetches the content (the fetch handler hears
    // of it) and gets the items.
    std::vector<PasteboardItem> fetchByTarget();
    // The plain text another application pasting would get, fetched as above.
    std::optional<std::string> fetchStringByTarget();

    // The simulated desktop telling of every change (as an X server with XFixes does); off: the change
    // count must be polled.
    void reportChanges(bool on);
    bool reportsChanges() const override;
    void setChangeHandler(std::function<void()> handler) override;

private:
    const std::string name_;
    mutable std::mutex mutex_;
    std::int64_t changeCount_ = 0;
    std::vector<PasteboardItem> items_;
    // Declared types of the first item whose data has not been set yet.
    std::vector<PasteboardType> declared_;
    mutable int failingReads_ = 0;
    bool stallingReads_ = false;
    int refusedWrites_ = 0;
    std::function<void()> fetchHandler_;
    bool reportsChanges_ = false;
    std::function<void()> changeHandler_;
};

}  // namespace vandrel
