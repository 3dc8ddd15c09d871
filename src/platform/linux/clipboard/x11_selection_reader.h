// Reads an X selection (CLIPBOARD or PRIMARY) over a connection of its own, on the calling thread, so that
// a large item or an owner that never answers costs the thread that asked, never the GUI thread.
//
// One read: a fresh window of ours asks for TARGETS, then for each format ClipboardMime lists, one after
// the other (ConvertSelection, then the property the owner fills; a large item comes in chunks, INCR).
// Each step waits at most the transfer time-out for the owner, and the whole read at most kTransferSteps of
// them: an owner that drips its content, each chunk just within the time-out, is stalled all the same. Sizes count
// against the read's limit before the data is taken when the owner says how much there is (a whole property's size, an
// INCR transfer's announced size), else while the chunks come; over the limit the read stops and tells the size seen.
// The window watches the selection's owner (XFixes): when the owner changes during a read, the read stops
// at once and says so. The window goes at the end of the read, which ends any transfer left half done.
// Each read tells the owner it found; a read asked to find the same owner as an earlier one stops before it
// asks for anything when another owner took the selection in between.
//
// Threads: read() may be called from any thread except the GUI thread of the process that owns the
// selection (it would wait on itself); calls are serialised.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/pasteboard_item.h"

namespace vandrel {

class X11SelectionReader {
public:
    enum class Selection { clipboard, primary };

    struct Result {
        enum class Status {
            read,        // item holds what was read (no types when nothing offered is worth reading)
            noOwner,     // nobody owns the selection
            unreadable,  // the owner handed over none of the formats worth reading
            stalled,     // the owner let a transfer time out, or the read its whole time
            tooLarge,    // more than the limit: bytes is at least the size seen
            changed,     // the owner changed during the read
        };
        Status status = Status::unreadable;
        std::optional<PasteboardItem> item;
        std::int64_t bytes = 0;
        // The owner's window at the start of the read (0: none).
        unsigned long owner = 0;
    };

    // How many transfer time-outs a whole read may take.
    static constexpr int kTransferSteps = 6;

    // A reader on the display named by $DISPLAY; null (logged) when it cannot be opened.
    static std::unique_ptr<X11SelectionReader> open(Selection selection, std::chrono::milliseconds transferTimeout);
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // Whether the X server reports changes of owner (XFixes); without it a change during a read is not seen.
    bool watchesOwner() const { return xfixesEvent_ >= 0; }

    // With sameOwnerAs, a read that finds another owner than that window answers changed at once.
    Result read(std::int64_t limitBytes, std::optional<unsigned long> sameOwnerAs = std::nullopt);

private:
    struct Display;
    X11SelectionReader(std::unique_ptr<Display> display, Selection selection, std::chrono::milliseconds timeout);

    std::mutex mutex_;
    std::unique_ptr<Display> display_;
    const Selection selection_;
    const std::chrono::milliseconds timeout_;
    int xfixesEvent_ = -1;
};

}  // namespace vandrel
