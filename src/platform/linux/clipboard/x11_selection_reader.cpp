#include "platform/linux/clipboard/x11_selection_reader.h"

#include <poll.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <vector>

#include "core/log.h"
#include "platform/linux/clipboard/clipboard_mime.h"

// Xlib last: its macros would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#undef Status

namespace vandrel {

namespace {

using Clock = std::chrono::steady_clock;

struct XFreeDeleter {
    void operator()(void* p) const
    {
        if (p) XFree(p);
    }
};

// TARGETS and other lists are small; this bounds what an owner can make us take for one.
constexpr std::int64_t kListLimit = 1 << 20;

}  // namespace

struct X11SelectionReader::Display {
    ::Display* display = nullptr;
    // Set by Xlib's handler when the connection broke: the display is neither used nor closed again.
    std::atomic<bool> broken{false};
    Atom selection = None;
    Atom targets = None;
    Atom incr = None;
    Atom utf8String = None;
    Atom property = None;

    ~Display()
    {
        if (display && !broken.load()) XCloseDisplay(display);
    }

    // Without it Xlib ends the process when the connection breaks (the X server went away).
    static void onBroken(::Display*, void* self) { static_cast<Display*>(self)->broken.store(true); }
};

namespace {

// One read: a window of our own that receives the owner's answers and hears of owner changes.
class ReadSession {
public:
    struct Transfer {
        enum class Status { ok, failed, stalled, tooLarge, changed };
        Status status = Status::failed;
        Atom type = None;
        std::vector<unsigned char> bytes;  // format 8
        std::vector<Atom> atoms;           // format 32
        std::int64_t size = 0;             // the size seen, when too large
    };

    ReadSession(::Display* display, Atom selection, Atom property, Atom incr, int xfixesEvent,
                std::chrono::milliseconds timeout, Clock::time_point deadline)
        : display_(display),
          selection_(selection),
          property_(property),
          incr_(incr),
          xfixesEvent_(xfixesEvent),
          timeout_(timeout),
          deadline_(deadline)
    {
        XSetWindowAttributes attributes{};
        attributes.event_mask = PropertyChangeMask;
        window_ = XCreateWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                CWEventMask, &attributes);
        if (xfixesEvent_ >= 0)
            XFixesSelectSelectionInput(display_, window_, selection_,
                                       XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                           XFixesSelectionClientCloseNotifyMask);
    }

    ~ReadSession()
    {
        // An owner still sending chunks to the window gets an error of its own and stops.
        XDestroyWindow(display_, window_);
        // Nothing of this read may reach the next one.
        XSync(display_, True);
    }

    ReadSession(const ReadSession&) = delete;
    ReadSession& operator=(const ReadSession&) = delete;

    Window owner() const { return XGetSelectionOwner(display_, selection_); }

    Transfer convert(Atom target, std::int64_t budget)
    {
        Transfer out;
        XDeleteProperty(display_, window_, property_);
        XConvertSelection(display_, selection_, target, property_, window_, CurrentTime);
        XFlush(display_);
        XEvent event;
        const auto answered = next(event, [&](const XEvent& e) {
            return e.type == SelectionNotify && e.xselection.requestor == window_ &&
                   e.xselection.selection == selection_;
        });
        if (answered != Transfer::Status::ok) return withStatus(out, answered);
        if (event.xselection.property == None) return out;

        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        if (!property(0, 0, false, type, format, count, after)) return out;
        if (type == incr_) return incremental(budget);
        if (static_cast<std::int64_t>(after) > budget) {
            out.status = Transfer::Status::tooLarge;
            out.size = static_cast<std::int64_t>(after);
            return out;
        }
        if (!take(out, static_cast<long>((after + 3) / 4))) return out;
        out.status = Transfer::Status::ok;
        return out;
    }

private:
    static Transfer withStatus(Transfer& t, Transfer::Status status)
    {
        t.status = status;
        return t;
    }

    // Waits for an event that `wanted` accepts: stalled after the time-out or past the read's deadline, changed
    // when the owner changes.
    Transfer::Status next(XEvent& event, const std::function<bool(const XEvent&)>& wanted)
    {
        const auto deadline = std::min(Clock::now() + timeout_, deadline_);
        for (;;) {
            while (XPending(display_) > 0) {
                XNextEvent(display_, &event);
                if (xfixesEvent_ >= 0 && event.type == xfixesEvent_) return Transfer::Status::changed;
                if (wanted(event)) return Transfer::Status::ok;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return Transfer::Status::stalled;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
        }
    }

    bool property(long offset, long length, bool remove, Atom& type, int& format, unsigned long& count,
                  unsigned long& after, unsigned char** data = nullptr)
    {
        unsigned char* raw = nullptr;
        const int status = XGetWindowProperty(display_, window_, property_, offset, length, remove ? True : False,
                                              AnyPropertyType, &type, &format, &count, &after, &raw);
        if (status != Success) return false;
        if (data)
            *data = raw;
        else if (raw)
            XFree(raw);
        return true;
    }

    // Takes up to length 32-bit units of the property and deletes it when that was all; appends to out.
    // `left` gets what remains beyond.
    bool take(Transfer& out, long length, unsigned long* left = nullptr)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* raw = nullptr;
        if (!property(0, length, true, type, format, count, after, &raw)) return false;
        std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
        if (left) *left = after;
        out.type = type;
        if (format == 32) {
            // Xlib hands 32-bit items over as longs.
            const auto* items = reinterpret_cast<const long*>(data.get());
            for (unsigned long i = 0; i < count; ++i) out.atoms.push_back(static_cast<Atom>(items[i]));
        } else if (format == 8) {
            out.bytes.insert(out.bytes.end(), data.get(), data.get() + count);
        } else if (format == 16) {
            const auto* items = reinterpret_cast<const short*>(data.get());
            const auto* bytes = reinterpret_cast<const unsigned char*>(items);
            out.bytes.insert(out.bytes.end(), bytes, bytes + count * 2);
        }
        return true;
    }

    Transfer incremental(std::int64_t budget)
    {
        Transfer out;
        // The owner announces at least the size it will send.
        {
            Atom type = None;
            int format = 0;
            unsigned long count = 0;
            unsigned long after = 0;
            unsigned char* raw = nullptr;
            if (!property(0, 1, false, type, format, count, after, &raw)) return out;
            std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
            const std::int64_t announced = (format == 32 && count == 1) ? *reinterpret_cast<const long*>(raw) : 0;
            if (announced > budget) {
                out.status = Transfer::Status::tooLarge;
                out.size = announced;
                return out;
            }
        }
        // Deleting the property asks for the first chunk; each chunk taken asks for the next.
        XDeleteProperty(display_, window_, property_);
        XFlush(display_);
        for (;;) {
            const auto total = static_cast<std::int64_t>(out.bytes.size());
            XEvent event;
            const auto status = next(event, [&](const XEvent& e) {
                return e.type == PropertyNotify && e.xproperty.window == window_ && e.xproperty.atom == property_ &&
                       e.xproperty.state == PropertyNewValue;
            });
            if (status != Transfer::Status::ok) return withStatus(out, status);
            // One request per chunk: as much as the budget leaves, taken (and deleted, which asks for the next
            // chunk) only when it is all there.
            const std::int64_t room = std::min<std::int64_t>(budget - total, std::int64_t{1} << 30);
            const std::size_t before = out.bytes.size();
            unsigned long after = 0;
            if (!take(out, static_cast<long>(room / 4 + 1), &after)) return out;
            if (after > 0 || static_cast<std::int64_t>(out.bytes.size()) > budget) {
                out.status = Transfer::Status::tooLarge;
                out.size = static_cast<std::int64_t>(out.bytes.size() + after);
                return out;
            }
            if (out.bytes.size() == before) {
                // The empty chunk ends the transfer.
                out.status = Transfer::Status::ok;
                return out;
            }
            XFlush(display_);
        }
    }

    ::Display* const display_;
    const Atom selection_;
    const Atom property_;
    const Atom incr_;
    const int xfixesEvent_;
    const std::chrono::milliseconds timeout_;
    const Clock::time_point deadline_;
    Window window_ = None;
};

}  // namespace

std::unique_ptr<X11SelectionReader> X11SelectionReader::open(Selection selection,
                                                             std::chrono::milliseconds transferTimeout)
{
    XInitThreads();  // Qt and the desktop code use Xlib on other threads
    auto display = std::make_unique<Display>();
    display->display = XOpenDisplay(nullptr);
    if (!display->display) {
        log.warning("No X connection of its own for reading the clipboard: it is read on the GUI thread");
        return nullptr;
    }
    ::Display* d = display->display;
    XSetIOErrorExitHandler(d, &Display::onBroken, display.get());
    display->selection = XInternAtom(d, selection == Selection::clipboard ? "CLIPBOARD" : "PRIMARY", False);
    display->targets = XInternAtom(d, "TARGETS", False);
    display->incr = XInternAtom(d, "INCR", False);
    display->utf8String = XInternAtom(d, "UTF8_STRING", False);
    display->property = XInternAtom(d, "VANDREL_SELECTION", False);
    std::unique_ptr<X11SelectionReader> reader(new X11SelectionReader(std::move(display), selection, transferTimeout));
    int eventBase = 0;
    int errorBase = 0;
    if (XFixesQueryExtension(d, &eventBase, &errorBase))
        reader->xfixesEvent_ = eventBase + XFixesSelectionNotify;
    else
        log.info("The X server has no XFixes: the clipboard's changes of owner are polled for");
    return reader;
}

X11SelectionReader::X11SelectionReader(std::unique_ptr<Display> display, Selection selection,
                                       std::chrono::milliseconds timeout)
    : display_(std::move(display)), selection_(selection), timeout_(timeout)
{
}

X11SelectionReader::~X11SelectionReader() = default;

X11SelectionReader::Result X11SelectionReader::read(std::int64_t limitBytes, std::optional<unsigned long> sameOwnerAs)
{
    using Status = Result::Status;
    using TransferStatus = ReadSession::Transfer::Status;
    std::lock_guard lock(mutex_);
    Display& x = *display_;
    Result result;
    if (x.broken.load()) return result;
    ReadSession session(x.display, x.selection, x.property, x.incr, xfixesEvent_, timeout_,
                        Clock::now() + kTransferSteps * timeout_);
    result.owner = session.owner();
    if (sameOwnerAs && result.owner != *sameOwnerAs) {
        result.status = Status::changed;
        return result;
    }
    if (result.owner == None) {
        result.status = Status::noOwner;
        return result;
    }
    const auto stopped = [&](TransferStatus status) {
        switch (status) {
            case TransferStatus::stalled:
                return Status::stalled;
            case TransferStatus::changed:
                return Status::changed;
            case TransferStatus::tooLarge:
                return Status::tooLarge;
            default:
                return Status::unreadable;
        }
    };

    auto targets = session.convert(x.targets, kListLimit);
    if (targets.status == TransferStatus::stalled || targets.status == TransferStatus::changed) {
        result.status = stopped(targets.status);
        return result;
    }
    // The formats by their MIME names; text offered only under the selection protocol's names is read as such.
    std::map<QString, Atom> byName;
    if (!targets.atoms.empty()) {
        std::vector<char*> names(targets.atoms.size(), nullptr);
        if (XGetAtomNames(x.display, targets.atoms.data(), static_cast<int>(targets.atoms.size()), names.data())) {
            for (std::size_t i = 0; i < names.size(); ++i) {
                byName.emplace(QString::fromLatin1(names[i]), targets.atoms[i]);
                XFree(names[i]);
            }
        }
    }
    const QString utf8Text = QStringLiteral("text/plain;charset=utf-8");
    if (!byName.count(utf8Text) && byName.count(QStringLiteral("UTF8_STRING"))) byName.emplace(utf8Text, x.utf8String);
    // Older clients offer text only as the protocol's Latin-1 STRING.
    bool latin1Text = false;
    if (!byName.count(utf8Text) && !byName.count(QStringLiteral("text/plain"))) {
        if (const auto string = byName.find(QStringLiteral("STRING")); string != byName.end()) {
            byName.emplace(utf8Text, string->second);
            latin1Text = true;
        }
    }
    QStringList offered;
    for (const auto& entry : byName) offered << entry.first;

    std::int64_t total = 0;
    std::optional<Status> stop;
    auto item = ClipboardMime::readItem(offered, [&](const QString& format) -> std::optional<QByteArray> {
        if (stop) return std::nullopt;
        auto transfer = session.convert(byName.at(format), limitBytes - total);
        if (transfer.status == TransferStatus::failed) return std::nullopt;
        if (transfer.status != TransferStatus::ok) {
            stop = stopped(transfer.status);
            result.bytes = total + transfer.size;
            return std::nullopt;
        }
        total += static_cast<std::int64_t>(transfer.bytes.size());
        QByteArray bytes(reinterpret_cast<const char*>(transfer.bytes.data()),
                         static_cast<qsizetype>(transfer.bytes.size()));
        if (latin1Text && format == utf8Text) return QString::fromLatin1(bytes).toUtf8();
        return bytes;
    });
    if (stop) {
        result.status = *stop;
        return result;
    }
    if (!item) {
        result.status = Status::unreadable;
        return result;
    }
    result.status = Status::read;
    result.bytes = total;
    if (!offered.isEmpty()) result.item = std::move(item);
    return result;
}

}  // namespace vandrel
