// The general pasteboard of the Linux desktop: the X11 CLIPBOARD selection through QClipboard (or, made for
// it, the PRIMARY selection).
//
// Threads: QClipboard lives on the GUI thread and is touched only there. A call from any other thread hands
// its work to the GUI thread and waits for it; a call on the GUI thread runs at once. changeCount() never
// hops: it reads an atomic counter, bumped once for each foreign change of owner (QClipboard::dataChanged)
// and once for each clear or declare of ours (the toolkit's own notice of our write is not counted again).
// The change handler hears of each bump, on the GUI thread. Where the toolkit hears of every change of owner
// (an X server with XFixes, the offscreen platform's in-process clipboard), reportsChanges() is true.
//
// Reading copies the data of the formats ClipboardMime lists, and nothing else, into one item; content we
// wrote ourselves is answered from our own copy without a transfer. An owner that offers formats worth
// reading but hands none of them over reads as absent (unreadable); one that offers none of them reads as
// one item without types; no owner reads as no items. On X11 a foreign owner's content is read over a
// connection of the pasteboard's own (X11SelectionReader) on the calling thread, so a large item or a stuck
// owner never holds the GUI thread, and content over a read's size limit is left unread where the owner
// tells its size first. A read during which the owner changed answers absent once the change is counted.
// Without that connection the read is QClipboard's, on the GUI thread.
//
// An owner that lets a transfer time out (dead or stuck), or that drips its content so slowly that the read
// outlasts its own bound (X11SelectionReader), makes the read absent and stalled at once, without asking for the
// rest of its formats, and its content is not asked for again until the clipboard changes (reads queued behind it
// answer stalled at once): such an owner costs one transfer time-out (a dripping one, the read's bound) and one
// warning per change.
//
// A change stands for the owner its first read found: a later read of the same change count that finds another
// owner (the toolkit hears of the new one a moment after the X server made it) answers absent once that change is
// counted, so that a read made for one change never hands over the content of the next.
//
// Writing: the pasteboard keeps the items we wrote and offers them as one QMimeData (ClipboardMime).
// clearContents() keeps the selection, empty. On X11 the server may refuse to make us the owner (another client
// took the selection later than the last event time the toolkit handled): the refused write is logged once, we
// own nothing then, and writes return false until a clear is taken. Another client's request for the data of our
// content (not for its list of formats) reaches the fetch handler, on the GUI thread: that is an application
// pasting it.
#pragma once

#include <QClipboard>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/linux/clipboard/x11_selection_reader.h"
#include "platform/pasteboard.h"

namespace vandrel {

class QtClipboardPasteboard final : public Pasteboard, public std::enable_shared_from_this<QtClipboardPasteboard> {
public:
    // Runs a job on the GUI thread and returns when it ran; the default hands it to the main queue (at once
    // on the GUI thread).
    using GuiRunner = std::function<void(const std::function<void()>&)>;

    // Needs a QGuiApplication; callable from any thread.
    enum class Selection { clipboard, primary };
    // How long a transfer from a foreign owner may take (each step of it, on X11).
    static constexpr std::chrono::milliseconds kTransferTimeout{5000};
    static std::shared_ptr<QtClipboardPasteboard> make(GuiRunner runOnGui = {},
                                                       Selection selection = Selection::clipboard,
                                                       std::chrono::milliseconds transferTimeout = kTransferTimeout);
    ~QtClipboardPasteboard() override;

    std::string name() const override { return selection_ == Selection::clipboard ? "general" : "selection"; }
    std::int64_t changeCount() const override { return changeCount_.load(); }
    std::int64_t clearContents() override;
    std::int64_t declareTypes(const std::vector<PasteboardType>& types) override;
    bool writeObjects(const std::vector<PasteboardItem>& items) override;
    std::optional<std::vector<PasteboardItem>> pasteboardItems() const override;
    BoundedItems boundedItems(std::int64_t limitBytes) const override;
    std::vector<PasteboardType> types() const override;
    std::optional<PasteboardData> data(const PasteboardType& type) const override;
    std::optional<std::string> string(const PasteboardType& type) const override;
    bool setData(const PasteboardData& data, const PasteboardType& type) override;
    bool setString(const std::string& text, const PasteboardType& type) override;
    bool reportsFetches() const override { return true; }
    void setFetchHandler(std::function<void()> handler) override;
    bool reportsChanges() const override { return reportsChanges_; }
    void setChangeHandler(std::function<void()> handler) override;
    // Our content was fetched (GUI thread).
    void fetched() const;

private:
    struct Passkey {};

public:
    QtClipboardPasteboard(Passkey, GuiRunner runOnGui, Selection selection);

private:
    void attach();
    QClipboard::Mode mode() const;
    void onDataChanged();
    // Offers `own` on the clipboard (GUI thread); false when the X server refused us the selection.
    bool publish(const std::vector<PasteboardItem>& own);
    // Whether the selection's owner is a window of the toolkit's X connection (always true off X11).
    bool ownsSelection();
    void onGui(const std::function<void()>& work) const;
    // Tells the change handler that the count moved (GUI thread).
    void changed();
    // QClipboard's read, on the GUI thread (no size limit).
    BoundedItems readOnGui() const;
    // The read over our own X connection, on the calling thread.
    BoundedItems readOwnConnection(std::int64_t limitBytes) const;
    // Our own items while we own the selection.
    std::optional<std::vector<PasteboardItem>> ownItems() const;

    // A transfer that comes back empty after this long timed out.
    static constexpr std::chrono::milliseconds kStalledTransfer{1000};

    const GuiRunner runOnGui_;
    const Selection selection_;
    std::function<void()> fetchHandler_;   // under mutex_
    std::function<void()> changeHandler_;  // under mutex_
    std::unique_ptr<X11SelectionReader> reader_;
    bool reportsChanges_ = false;
    mutable std::condition_variable countMoved_;
    std::atomic<std::int64_t> changeCount_{0};
    mutable std::atomic<std::int64_t> stalledAt_{-1};
    mutable std::mutex mutex_;
    // The owner the first read of change ownerCount_ found (under mutex_).
    mutable std::int64_t ownerCount_ = -1;
    mutable unsigned long countedOwner_ = 0;
    std::optional<std::vector<PasteboardItem>> own_;
    std::vector<PasteboardType> declared_;
    // GUI thread only.
    QPointer<QClipboard> clipboard_;
    std::unique_ptr<QObject> receiver_;
    bool writing_ = false;
    // The last write was refused and nothing changed since.
    bool refused_ = false;
    std::uint32_t selectionAtom_ = 0;
};

}  // namespace vandrel
