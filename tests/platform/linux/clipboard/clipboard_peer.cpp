// Another desktop application for the clipboard tests, on the X server named by $DISPLAY:
//
//   clipboard_peer own <format>=<file>...   owns the clipboard with each file's bytes under its format, prints
//                                           "owned" once it does, and ends when its standard input closes
//   clipboard_peer hang <format>...         owns it offering these formats, and never hands any over (prints
//                                           "asked <format>" for each request, also while earlier ones hang)
//   clipboard_peer read <folder>            writes the data of every offered MIME format to <folder>/<encoded
//                                           format> and the list of formats to <folder>/formats, then ends
#include <unistd.h>

#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>
#include <QUrl>
#include <cstdio>

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
    std::fputs("usage: clipboard_peer own <format>=<file>... | hang <format>... | read <folder>\n", stderr);
    return 2;
}
