// Another desktop application for the clipboard tests, on the X server named by $DISPLAY:
//
//   clipboard_peer own <format>=<file>...   owns the clipboard with each file's bytes under its format, prints
//                                           "owned" once it does, and ends when its standard input closes
//   clipboard_peer hang <format>...         owns it offering these formats, and never hands any over (prints
//                                           "asked <format>" for each request, also while earlier ones hang)
//   clipboard_peer drip <format>            owns it (over Xlib) offering this format, and hands it over in an
//                                           incremental transfer that never ends: a byte every 100 ms
//   clipboard_peer read <folder>            writes the data of every offered MIME format to <folder>/<encoded
//                                           format> and the list of formats to <folder>/formats, then ends
#include <poll.h>
#include <unistd.h>

#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <optional>

// Xlib last: its macros would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

class StuckMimeData : public QMimeData {
public:
    explicit StuckMimeData(QStringList formats) : formats_(std::move(formats)) {}
    QStringList formats() const override { return formats_; }
    bool hasFormat(const QString& format) const override { return formats_.contains(format); }

protected:
    // Each request waits in an event loop of its own that never ends, so later requests still arrive here (and
    // are counted) while none is answered. Quitting the application ends these loops too.
    QVariant retrieveData(const QString& format, QMetaType) const override
    {
        std::printf("asked %s\n", format.toUtf8().constData());
        std::fflush(stdout);
        QEventLoop endless;
        endless.exec();
        return {};
    }

private:
    QStringList formats_;
};

int own(QGuiApplication& app, QMimeData* mime)
{
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
    std::puts("owned");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) app.quit();
    });
    return app.exec();
}

// The owner's side of the selection protocol by hand, offering one format: its content whole, as an old client
// does (the toolkit would offer more formats), or dripping in chunks (the toolkit sends them as fast as they are
// taken).
int ownByHand(const QString& format, const std::optional<QByteArray>& whole)
{
    using Clock = std::chrono::steady_clock;
    ::Display* d = XOpenDisplay(nullptr);
    if (!d) return 2;
    const ::Window owner = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom incr = XInternAtom(d, "INCR", False);
    const Atom target = XInternAtom(d, format.toLatin1().constData(), False);
    XSetSelectionOwner(d, clipboard, owner, CurrentTime);
    if (XGetSelectionOwner(d, clipboard) != owner) return 2;
    std::puts("owned");
    std::fflush(stdout);
    ::Window requestor = None;
    Atom property = None;
    auto nextChunk = Clock::time_point::max();  // none asked for
    for (;;) {
        pollfd fds[2]{{ConnectionNumber(d), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        ::poll(fds, 2, 20);
        if (fds[1].revents) return 0;  // our standard input closed
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == SelectionRequest) {
                const XSelectionRequestEvent& r = event.xselectionrequest;
                XSelectionEvent reply{};
                reply.type = SelectionNotify;
                reply.requestor = r.requestor;
                reply.selection = r.selection;
                reply.target = r.target;
                reply.time = r.time;
                reply.property = r.property;
                if (r.target == targets) {
                    const Atom offered[] = {targets, target};
                    XChangeProperty(d, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(offered), 2);
                } else if (r.target == target && whole) {
                    XChangeProperty(d, r.requestor, r.property, target, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(whole->constData()),
                                    static_cast<int>(whole->size()));
                } else if (r.target == target) {
                    const long announced = 1024;
                    XSelectInput(d, r.requestor, PropertyChangeMask);
                    XChangeProperty(d, r.requestor, r.property, incr, 32, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(&announced), 1);
                    requestor = r.requestor;
                    property = r.property;
                } else {
                    reply.property = None;
                }
                XSendEvent(d, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
            } else if (event.type == PropertyNotify && event.xproperty.window == requestor &&
                       event.xproperty.atom == property && event.xproperty.state == PropertyDelete) {
                // The last chunk was taken: the next one comes a while later.
                nextChunk = Clock::now() + std::chrono::milliseconds(100);
            }
        }
        if (Clock::now() >= nextChunk) {
            nextChunk = Clock::time_point::max();
            const unsigned char byte = 'x';
            XChangeProperty(d, requestor, property, target, 8, PropModeReplace, &byte, 1);
        }
        XFlush(d);
    }
}

int read(const QString& folder)
{
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    QFile list(folder + "/formats");
    if (!list.open(QIODevice::WriteOnly)) return 2;
    if (!mime) return 0;
    for (const QString& format : mime->formats()) {
        // The selection protocol's own targets and the toolkit's synthetic image are not content.
        if (!format.contains('/') || format == "application/x-qt-image") continue;
        list.write(format.toUtf8() + "\n");
        QFile out(folder + "/" + QString::fromLatin1(QUrl::toPercentEncoding(format)));
        if (!out.open(QIODevice::WriteOnly)) return 2;
        out.write(mime->data(format));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 2 && args[0] == "read") return read(args[1]);
    if (args.size() >= 2 && args[0] == "drip") return ownByHand(args[1], std::nullopt);
    if (args.size() >= 2 && args[0] == "whole") {
        const auto eq = args[1].indexOf('=');
        QFile file(args[1].mid(eq + 1));
        if (eq <= 0 || !file.open(QIODevice::ReadOnly)) return 2;
        return ownByHand(args[1].left(eq), file.readAll());
    }
    if (args.size() >= 2 && args[0] == "hang") return own(app, new StuckMimeData(args.mid(1)));
    if (args.size() >= 2 && args[0] == "own") {
        auto* mime = new QMimeData;
        for (const QString& pair : args.mid(1)) {
            const auto eq = pair.indexOf('=');
            QFile file(pair.mid(eq + 1));
            if (eq <= 0 || !file.open(QIODevice::ReadOnly)) return 2;
            mime->setData(pair.left(eq), file.readAll());
        }
        return own(app, mime);
    }
    std::fputs("usage: clipboard_peer own <format>=<file>... | whole <format>=<file> | hang <format>... | drip <format> | read <folder>\n",
               stderr);
    return 2;
}
