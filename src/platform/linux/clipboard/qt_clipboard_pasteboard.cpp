#include "platform/linux/clipboard/qt_clipboard_pasteboard.h"

#include <xcb/xcb.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "core/log.h"
#include "core/main_queue.h"
#include "platform/linux/clipboard/clipboard_mime.h"

namespace vandrel {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

PasteboardType typeOf(const QMimeData& mime, const QString& format, const PasteboardType& listed)
{
    return format == kUriList ? ClipboardMime::typeOfUriList(mime.data(format)) : listed;
}

// Our content on the clipboard: tells the pasteboard when another client asks for its data.
class FetchReportingMime final : public QMimeData {
public:
    explicit FetchReportingMime(std::weak_ptr<const QtClipboardPasteboard> board) : board_(std::move(board)) {}

protected:
    // Told once the toolkit has sent the answer (it writes and flushes it after this returns): a fetch notice
    // that came before could let the keys typed after a paste reach the X server ahead of the pasted content.
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [board = board_] {
                if (auto pasteboard = board.lock()) pasteboard->fetched();
            },
            Qt::QueuedConnection);
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    std::weak_ptr<const QtClipboardPasteboard> board_;
};

}  // namespace

std::shared_ptr<QtClipboardPasteboard> QtClipboardPasteboard::make(GuiRunner runOnGui, Selection selection,
                                                                   std::chrono::milliseconds transferTimeout)
{
    if (!runOnGui) runOnGui = [](const std::function<void()>& work) { MainQueue::shared()->sync(work); };
    auto board = std::make_shared<QtClipboardPasteboard>(Passkey{}, std::move(runOnGui), selection);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        board->reader_ =
            X11SelectionReader::open(selection == Selection::clipboard ? X11SelectionReader::Selection::clipboard
                                                                       : X11SelectionReader::Selection::primary,
                                     transferTimeout);
        // The toolkit hears of foreign owners through the same extension.
        board->reportsChanges_ = board->reader_ && board->reader_->watchesOwner();
    } else {
        board->reportsChanges_ = platform == QLatin1String("offscreen");
    }
    board->onGui([&board] { board->attach(); });
    return board;
}

QtClipboardPasteboard::QtClipboardPasteboard(Passkey, GuiRunner runOnGui, Selection selection)
    : runOnGui_(std::move(runOnGui)), selection_(selection)
{
}

QClipboard::Mode QtClipboardPasteboard::mode() const
{
    return selection_ == Selection::clipboard ? QClipboard::Clipboard : QClipboard::Selection;
}

void QtClipboardPasteboard::setFetchHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    fetchHandler_ = std::move(handler);
}

void QtClipboardPasteboard::setChangeHandler(std::function<void()> handler)
{
    std::lock_guard lock(mutex_);
    changeHandler_ = std::move(handler);
}

void QtClipboardPasteboard::changed()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = changeHandler_;
    }
    countMoved_.notify_all();
    if (handler) handler();
}

void QtClipboardPasteboard::fetched() const
{
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = fetchHandler_;
    }
    if (handler) handler();
}

QtClipboardPasteboard::~QtClipboardPasteboard()
{
    // The receiver belongs to the GUI thread; the connection holds us weakly, so a late notice is harmless.
    QObject* receiver = receiver_.release();
    if (!receiver) return;
    if (receiver->thread() == QThread::currentThread() || !QCoreApplication::instance())
        delete receiver;
    else
        receiver->deleteLater();
}

void QtClipboardPasteboard::attach()
{
    clipboard_ = QGuiApplication::clipboard();
    if (!clipboard_) {
        log.error("The desktop clipboard is not available: no Qt GUI application");
        return;
    }
    receiver_ = std::make_unique<QObject>();
    std::weak_ptr<QtClipboardPasteboard> weak = weak_from_this();
    const auto changed = [weak] {
        if (auto self = weak.lock()) self->onDataChanged();
    };
    if (selection_ == Selection::clipboard)
        QObject::connect(clipboard_, &QClipboard::dataChanged, receiver_.get(), changed);
    else
        QObject::connect(clipboard_, &QClipboard::selectionChanged, receiver_.get(), changed);
}

void QtClipboardPasteboard::onDataChanged()
{
    // Our own writes are counted where they are made.
    if (writing_) return;
    refused_ = false;
    {
        std::lock_guard lock(mutex_);
        own_.reset();
        declared_.clear();
        ++changeCount_;
    }
    changed();
}

void QtClipboardPasteboard::onGui(const std::function<void()>& work) const
{
    runOnGui_(work);
}

std::optional<std::vector<PasteboardItem>> QtClipboardPasteboard::ownItems() const
{
    std::lock_guard lock(mutex_);
    return own_;
}

bool QtClipboardPasteboard::publish(const std::vector<PasteboardItem>& own)
{
    if (!clipboard_) return false;
    writing_ = true;
    // Cleared content stays ours, only empty: giving the selection up would have Qt report the change later,
    // as another application's, once it read someone else's content before, and the write that follows a
    // clear would then be refused.
    auto mime = std::make_unique<FetchReportingMime>(weak_from_this());
    ClipboardMime::fill(*mime, own);
    clipboard_->setMimeData(mime.release(), mode());
    writing_ = false;
    if (ownsSelection()) {
        refused_ = false;
        return true;
    }
    // Nothing of ours is on the clipboard: the writes that follow have nothing to add to until the next clear.
    {
        std::lock_guard lock(mutex_);
        own_.reset();
        declared_.clear();
    }
    refused_ = true;
    log.warning(
        "The X server kept the clipboard with another application that took it a moment before: our "
        "write is refused");
    return false;
}

bool QtClipboardPasteboard::ownsSelection()
{
    // Qt asks the server to make it the owner with the last event time it handled: when another client took the
    // selection later than that and Qt has not handled the notice yet, the server ignores the request and Qt
    // only warns.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) return true;
    if (selectionAtom_ == 0) {
        if (selection_ == Selection::primary) {
            selectionAtom_ = XCB_ATOM_PRIMARY;
        } else {
            const char name[] = "CLIPBOARD";
            auto* reply =
                xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
            if (reply) selectionAtom_ = reply->atom;
            std::free(reply);
        }
        if (selectionAtom_ == 0) return true;
    }
    auto* reply =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selectionAtom_), nullptr);
    if (!reply) return true;  // the connection broke: Qt reports that itself
    const xcb_window_t owner = reply->owner;
    std::free(reply);
    // Qt's clipboard window is made on its own connection, whose resource ids share one base.
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return owner != XCB_NONE && (owner & ~setup->resource_id_mask) == setup->resource_id_base;
}

std::int64_t QtClipboardPasteboard::clearContents()
{
    return declareTypes({});
}

std::int64_t QtClipboardPasteboard::declareTypes(const std::vector<PasteboardType>& types)
{
    std::int64_t count = 0;
    onGui([&] {
        {
            std::lock_guard lock(mutex_);
            own_.emplace();
            declared_ = types;
        }
        publish({});
        {
            std::lock_guard lock(mutex_);
            count = ++changeCount_;
        }
        changed();
    });
    return count;
}

bool QtClipboardPasteboard::writeObjects(const std::vector<PasteboardItem>& items)
{
    bool written = false;
    bool quiet = false;
    onGui([&] {
        std::vector<PasteboardItem> own;
        {
            std::lock_guard lock(mutex_);
            // Someone else owns the clipboard: there is nothing of ours to add to (clear it first).
            if (!own_) {
                quiet = refused_;
                return;
            }
            own_->insert(own_->end(), items.begin(), items.end());
            own = *own_;
        }
        written = publish(own);
        // A refused clear was told of already.
        quiet = refused_;
    });
    if (!written && !quiet)
        log.warning("The desktop clipboard refused the write: it was not cleared first or is not available");
    return written;
}

bool QtClipboardPasteboard::setData(const PasteboardData& data, const PasteboardType& type)
{
    bool written = false;
    onGui([&] {
        std::vector<PasteboardItem> own;
        {
            std::lock_guard lock(mutex_);
            if (!own_) return;
            if (own_->empty()) own_->emplace_back();
            own_->front().setData(type, data);
            std::erase(declared_, type);
            own = *own_;
        }
        written = publish(own);
    });
    return written;
}

bool QtClipboardPasteboard::setString(const std::string& text, const PasteboardType& type)
{
    return setData(PasteboardData(text.begin(), text.end()), type);
}

std::optional<std::vector<PasteboardItem>> QtClipboardPasteboard::pasteboardItems() const
{
    if (auto own = ownItems()) return own;
    if (reader_) return readOwnConnection(std::numeric_limits<std::int64_t>::max()).items;
    return readOnGui().items;
}

Pasteboard::BoundedItems QtClipboardPasteboard::boundedItems(std::int64_t limitBytes) const
{
    if (auto own = ownItems()) return measured(std::move(own), limitBytes);
    if (reader_) return readOwnConnection(limitBytes);
    auto read = readOnGui();
    if (read.stalled) return read;
    return measured(std::move(read.items), limitBytes);
}

Pasteboard::BoundedItems QtClipboardPasteboard::readOwnConnection(std::int64_t limitBytes) const
{
    using Status = X11SelectionReader::Result::Status;
    const std::int64_t count = changeCount_.load();
    if (stalledAt_.load() == count) return {std::nullopt, 0, true};
    // A read left over after the application ended (a retry) could find the X server gone, which Xlib answers
    // by ending the process.
    if (!QCoreApplication::instance()) return {};
    // A change stands for the owner its first read found. A later read of it that finds another owner would read
    // for a change the toolkit has not told of yet, which its own reads will look at: it answers as a read
    // during which the owner changed.
    std::optional<unsigned long> sameOwner;
    {
        std::lock_guard lock(mutex_);
        if (ownerCount_ == count) sameOwner = countedOwner_;
    }
    auto result = reader_->read(limitBytes, sameOwner);
    if (result.status != Status::changed) {
        std::lock_guard lock(mutex_);
        if (ownerCount_ != count) {
            ownerCount_ = count;
            countedOwner_ = result.owner;
        }
    }
    BoundedItems out;
    switch (result.status) {
        case Status::read:
            out.items.emplace();
            if (result.item) out.items->push_back(std::move(*result.item));
            break;
        case Status::noOwner:
            out.items.emplace();
            break;
        case Status::unreadable:
            break;
        case Status::stalled:
            stalledAt_.store(count);
            out.stalled = true;
            log.warning("The clipboard owner does not hand over its content: not read until the clipboard changes");
            break;
        case Status::tooLarge:
            out.skippedBytes = std::max<std::int64_t>(result.bytes, limitBytes + 1);
            break;
        case Status::changed: {
            // The toolkit hears of the new owner a moment later than our connection did; the read is over only once
            // the change is counted, so that whoever compares counts knows this read is stale.
            log.debug("The clipboard changed owner during the read: that read is dropped once the change is counted");
            std::unique_lock lock(mutex_);
            countMoved_.wait_for(lock, kTransferTimeout, [&] { return changeCount_.load() != count; });
            break;
        }
    }
    return out;
}

Pasteboard::BoundedItems QtClipboardPasteboard::readOnGui() const
{
    std::optional<std::vector<PasteboardItem>> items;
    bool stalled = false;
    onGui([&] {
        // Checked here, in the GUI thread's order: a read queued behind the one that stalled returns at once.
        const std::int64_t count = changeCount_.load();
        if (stalledAt_.load() == count) {
            stalled = true;
            return;
        }
        const auto timed = [&](auto read) {
            const auto started = std::chrono::steady_clock::now();
            auto result = read();
            // Nothing back after this long: the owner is dead or stuck, the toolkit gave up waiting.
            if (result.isEmpty() && std::chrono::steady_clock::now() - started >= kStalledTransfer) stalled = true;
            return result;
        };
        const QMimeData* mime = clipboard_ ? clipboard_->mimeData(mode()) : nullptr;
        const QStringList formats = mime ? timed([&] { return mime->formats(); }) : QStringList();
        if (!stalled && formats.isEmpty()) {
            items.emplace();
            return;
        }
        std::optional<PasteboardItem> item;
        if (!stalled) {
            item = ClipboardMime::readItem(formats, [&](const QString& format) -> std::optional<QByteArray> {
                if (stalled) return std::nullopt;
                QByteArray bytes = timed([&] { return mime->data(format); });
                if (stalled) return std::nullopt;
                return bytes;
            });
        }
        if (stalled) {
            stalledAt_.store(count);
            log.warning("The clipboard owner does not hand over its content: not read until the clipboard changes");
            return;
        }
        if (item) items = std::vector<PasteboardItem>{std::move(*item)};
    });
    return {std::move(items), 0, stalled};
}

std::vector<PasteboardType> QtClipboardPasteboard::types() const
{
    {
        std::lock_guard lock(mutex_);
        if (own_) {
            std::vector<PasteboardType> out = own_->empty() ? std::vector<PasteboardType>{} : own_->front().types();
            for (const auto& t : declared_)
                if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
            return out;
        }
    }
    std::vector<PasteboardType> out;
    onGui([&] {
        const QMimeData* mime = clipboard_ ? clipboard_->mimeData(mode()) : nullptr;
        if (!mime) return;
        for (const auto& [format, type] : ClipboardMime::formatsToRead(mime->formats()))
            out.push_back(typeOf(*mime, format, type));
    });
    return out;
}

std::optional<PasteboardData> QtClipboardPasteboard::data(const PasteboardType& type) const
{
    if (auto own = ownItems()) {
        if (own->empty()) return std::nullopt;
        return own->front().data(type);
    }
    std::optional<PasteboardData> out;
    onGui([&] {
        const QMimeData* mime = clipboard_ ? clipboard_->mimeData(mode()) : nullptr;
        if (!mime) return;
        for (const auto& [format, listed] : ClipboardMime::formatsToRead(mime->formats())) {
            if (typeOf(*mime, format, listed) != type) continue;
            const QByteArray bytes = mime->data(format);
            out.emplace(bytes.begin(), bytes.end());
            return;
        }
    });
    return out;
}

std::optional<std::string> QtClipboardPasteboard::string(const PasteboardType& type) const
{
    auto bytes = data(type);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace vandrel
