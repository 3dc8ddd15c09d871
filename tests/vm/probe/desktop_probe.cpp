// The application the desktop tests type into: a window with a QTextEdit and a QLineEdit, as any Qt program on
// X11 has them, plus an X key logger. It connects to the test's Unix socket (--channel <path>) and answers the
// requests of harness/probe_protocol.h there, so the test reads the widgets' text, cursor and selection and what
// X delivered. Its Quit shortcut (Ctrl+Q, where many applications quit) is counted instead of quitting, so that
// a test can tell a stray Ctrl+Q and go on.
#include <QtGui/qguiapplication_platform.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "harness/probe_protocol.h"
#include "x_key_logger.h"

namespace vandrel::vmtest {
namespace {

constexpr int kFocusAttempts = 250;  // at 20 ms: five seconds for the window manager to hand over the focus

class ProbeWindow : public QWidget {
public:
    explicit ProbeWindow(int channel, std::unique_ptr<XKeyLogger> logger)
        : channel_(channel), logger_(std::move(logger)), notifier_(channel, QSocketNotifier::Read)
    {
        setWindowTitle("Vandrel desktop probe");
        auto* layout = new QVBoxLayout(this);
        edit_ = new QTextEdit(this);
        line_ = new QLineEdit(this);
        // Fixed pitch and no wrapping: a line is a paragraph, and Up/Down keep the column.
        const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        edit_->setFont(fixed);
        line_->setFont(fixed);
        edit_->setLineWrapMode(QTextEdit::NoWrap);
        edit_->setAcceptRichText(false);
        layout->addWidget(edit_);
        layout->addWidget(line_);
        resize(900, 700);
        for (QWidget* w : {static_cast<QWidget*>(edit_), static_cast<QWidget*>(line_)}) w->installEventFilter(this);

        auto* quit = new QAction(this);
        quit->setShortcut(QKeySequence::Quit);
        connect(quit, &QAction::triggered, this, [this] { ++quits_; });
        addAction(quit);

        connect(&notifier_, &QSocketNotifier::activated, this, [this] { readRequests(); });
    }

    void sendHello() { reply("hello " + std::to_string(::getpid())); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F12 && !key->isAutoRepeat()) ++sentinels_;
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    void readRequests()
    {
        char buffer[4096];
        const ssize_t n = ::read(channel_, buffer, sizeof buffer);
        if (n <= 0) {
            // The test went away: so does the probe.
            QApplication::exit(n == 0 ? 0 : 1);
            return;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            handle(line);
        }
    }

    QWidget* widgetNamed(const std::string& name)
    {
        if (name == "edit") return edit_;
        if (name == "line") return line_;
        return nullptr;
    }

    void handle(const std::string& request)
    {
        const std::size_t space = request.find(' ');
        const std::string verb = request.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : request.substr(space + 1);
        if (verb == "keys") {
            std::string out = "ok";
            for (const std::string& entry : logger_->take()) out += " " + entry;
            return reply(out);
        }
        if (verb == "clipboard") {
            return reply("ok text=" + escapeLine(QGuiApplication::clipboard()->text().toStdString()));
        }
        if (verb == "clipboard-set") {
            const auto text = unescapeLine(rest);
            if (!text) return reply("error bad text: " + escapeLine(rest));
            QGuiApplication::clipboard()->setText(QString::fromStdString(*text));
            return reply("ok");
        }
        if (verb == "selection") {
            return reply("ok text=" +
                         escapeLine(QGuiApplication::clipboard()->text(QClipboard::Selection).toStdString()));
        }
        if (verb == "selection-set") {
            const auto text = unescapeLine(rest);
            if (!text) return reply("error bad text: " + escapeLine(rest));
            QGuiApplication::clipboard()->setText(QString::fromStdString(*text), QClipboard::Selection);
            return reply("ok");
        }
        const std::string target = rest.substr(0, rest.find(' '));
        QWidget* widget = widgetNamed(target);
        if (!widget) return reply("error unknown request or widget: " + escapeLine(request));
        if (verb == "focus") return focus(widget, kFocusAttempts);
        if (verb == "state") return reply("ok " + state(widget));
        if (verb == "set") return set(widget, rest.substr(target.size() + (rest.size() > target.size() ? 1 : 0)));
        reply("error unknown request: " + escapeLine(request));
    }

    // Whether X gives this window the keyboard: Qt may call the window active before the window manager has
    // handed X's input focus over, and keys typed in between go elsewhere.
    bool hasXFocus()
    {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11) return false;
        xcb_connection_t* connection = x11->connection();
        xcb_get_input_focus_reply_t* focus =
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        const bool ours = focus && focus->focus == static_cast<xcb_window_t>(winId());
        std::free(focus);
        return ours;
    }

    // Asks for the focus and answers once the widget has it in the active window, and X agrees.
    void focus(QWidget* widget, int attemptsLeft)
    {
        if (widget->hasFocus() && isActiveWindow() && hasXFocus()) return reply("ok");
        if (attemptsLeft == 0)
            return reply("error no focus: active=" + std::to_string(isActiveWindow()) +
                         " x=" + std::to_string(hasXFocus()));
        raise();
        activateWindow();
        widget->setFocus(Qt::OtherFocusReason);
        QTimer::singleShot(20, this, [this, widget, attemptsLeft] { focus(widget, attemptsLeft - 1); });
    }

    void set(QWidget* widget, const std::string& args)
    {
        int anchor = 0, cursor = 0, consumed = 0;
        // Exactly one space before the text, which may start with spaces of its own.
        if (std::sscanf(args.c_str(), "%d %d%n", &anchor, &cursor, &consumed) < 2 ||
            static_cast<std::size_t>(consumed) >= args.size() || args[consumed] != ' ')
            return reply("error bad set: " + escapeLine(args));
        const std::optional<std::string> text = unescapeLine(std::string_view(args).substr(consumed + 1));
        if (!text) return reply("error bad text: " + escapeLine(args));
        const QString value = QString::fromStdString(*text);
        if (anchor < 0 || cursor < 0 || anchor > value.size() || cursor > value.size())
            return reply("error position outside the text");
        if (widget == edit_) {
            edit_->setPlainText(value);
            QTextCursor c(edit_->document());
            c.setPosition(anchor);
            c.setPosition(cursor, QTextCursor::KeepAnchor);
            edit_->setTextCursor(c);
        } else {
            line_->setText(value);
            if (anchor == cursor)
                line_->setCursorPosition(cursor);
            else
                line_->setSelection(anchor, cursor - anchor);
        }
        reply("ok");
    }

    std::string state(QWidget* widget)
    {
        int anchor = 0, cursor = 0;
        QString text;
        if (widget == edit_) {
            const QTextCursor c = edit_->textCursor();
            anchor = c.anchor();
            cursor = c.position();
            text = edit_->toPlainText();
        } else {
            cursor = line_->cursorPosition();
            anchor = cursor;
            if (line_->hasSelectedText()) {
                const int start = line_->selectionStart();
                anchor = cursor == start ? start + static_cast<int>(line_->selectedText().size()) : start;
            }
            text = line_->text();
        }
        const QWidget* focused = QApplication::focusWidget();
        const char* focusName = focused == edit_ ? "edit" : focused == line_ ? "line" : "none";
        return std::string("focus=") + focusName + " active=" + (isActiveWindow() ? "1" : "0") +
               " xfocus=" + (hasXFocus() ? "1" : "0") + " sentinels=" + std::to_string(sentinels_) +
               " quits=" + std::to_string(quits_) + " anchor=" + std::to_string(anchor) +
               " cursor=" + std::to_string(cursor) + " text=" + escapeLine(text.toStdString());
    }

    void reply(const std::string& line)
    {
        const std::string out = line + "\n";
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::write(channel_, out.data() + sent, out.size() - sent);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    const int channel_;
    std::unique_ptr<XKeyLogger> logger_;
    QSocketNotifier notifier_;
    QTextEdit* edit_ = nullptr;
    QLineEdit* line_ = nullptr;
    int sentinels_ = 0;
    int quits_ = 0;
    std::string pending_;
};

int connectTo(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return -1;
    path.copy(address.sun_path, path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace
}  // namespace vandrel::vmtest

int main(int argc, char** argv)
{
    using namespace vandrel::vmtest;
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf("--channel");
    if (at < 0 || at + 1 >= args.size()) {
        std::fprintf(stderr, "usage: desktop_probe --channel <unix socket path>\n");
        return 2;
    }
    const int channel = connectTo(args[at + 1].toStdString());
    if (channel < 0) {
        std::perror("desktop_probe: cannot connect to the test's channel");
        return 1;
    }
    std::string error;
    std::unique_ptr<XKeyLogger> logger = XKeyLogger::start(qEnvironmentVariable("DISPLAY").toStdString(), error);
    if (!logger) {
        std::fprintf(stderr, "desktop_probe: %s\n", error.c_str());
        return 1;
    }
    ProbeWindow window(channel, std::move(logger));
    window.show();
    window.sendHello();
    return app.exec();
}
