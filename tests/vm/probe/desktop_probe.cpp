// The application the desktop tests type into: a window with a QTextEdit and a QLineEdit, as any Qt program on
// X11 has them, plus an X key logger. It connects to the test's Unix socket (--channel <path>) and answers the
// requests of harness/probe_protocol.h there (probe_server.h), so the test reads the widgets' text, cursor and
// selection and what X delivered. Its Quit shortcut (Ctrl+Q, where many applications quit) is counted instead of
// quitting, so that a test can tell a stray Ctrl+Q and go on.
#include <QtGui/qguiapplication_platform.h>
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
#include <cstdlib>
#include <memory>
#include <string>

#include "probe_server.h"

namespace vandrel::vmtest {
namespace {

class ProbeWindow : public QWidget, public ProbeServer {
public:
    explicit ProbeWindow(Connection connection)
        : ProbeServer(std::move(connection)), notifier_(channel(), QSocketNotifier::Read)
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
        connect(quit, &QAction::triggered, this, [this] { quitTriggered(); });
        addAction(quit);

        connect(&notifier_, &QSocketNotifier::activated, this, [this] { readRequests(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F12 && !key->isAutoRepeat()) sentinelReleased();
        }
        return QWidget::eventFilter(watched, event);
    }

    std::string boardText(ProbeBoard board) override
    {
        return QGuiApplication::clipboard()->text(modeOf(board)).toStdString();
    }

    void setBoardText(ProbeBoard board, const std::string& text) override
    {
        QGuiApplication::clipboard()->setText(QString::fromStdString(text), modeOf(board));
    }

    void setText(ProbeTarget target, const ProbeText& text) override
    {
        const QString value = QString::fromStdString(text.text);
        if (target == ProbeTarget::edit) {
            edit_->setPlainText(value);
            QTextCursor c(edit_->document());
            c.setPosition(text.anchor);
            c.setPosition(text.cursor, QTextCursor::KeepAnchor);
            edit_->setTextCursor(c);
        } else {
            line_->setText(value);
            if (text.anchor == text.cursor)
                line_->setCursorPosition(text.cursor);
            else
                line_->setSelection(text.anchor, text.cursor - text.anchor);
        }
    }

    ProbeText text(ProbeTarget target) override
    {
        if (target == ProbeTarget::edit) {
            const QTextCursor c = edit_->textCursor();
            return {edit_->toPlainText().toStdString(), c.anchor(), c.position()};
        }
        const int cursor = line_->cursorPosition();
        int anchor = cursor;
        if (line_->hasSelectedText()) {
            const int start = line_->selectionStart();
            anchor = cursor == start ? start + static_cast<int>(line_->selectedText().size()) : start;
        }
        return {line_->text().toStdString(), anchor, cursor};
    }

    std::string focusedName() override
    {
        const QWidget* focused = QApplication::focusWidget();
        return focused == edit_ ? "edit" : focused == line_ ? "line" : "none";
    }

    bool windowActive() override { return isActiveWindow(); }

    bool hasXFocus() override
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

    void requestFocus(ProbeTarget target) override
    {
        raise();
        activateWindow();
        (target == ProbeTarget::edit ? static_cast<QWidget*>(edit_) : line_)->setFocus(Qt::OtherFocusReason);
    }

    void later(int ms, std::function<void()> then) override { QTimer::singleShot(ms, this, std::move(then)); }

    void quit(int code) override { QApplication::exit(code); }

private:
    static QClipboard::Mode modeOf(ProbeBoard board)
    {
        return board == ProbeBoard::clipboard ? QClipboard::Clipboard : QClipboard::Selection;
    }

    QSocketNotifier notifier_;
    QTextEdit* edit_ = nullptr;
    QLineEdit* line_ = nullptr;
};

}  // namespace
}  // namespace vandrel::vmtest

int main(int argc, char** argv)
{
    using namespace vandrel::vmtest;
    QApplication app(argc, argv);
    std::optional<ProbeServer::Connection> connection = ProbeServer::connectToTest(argc, argv, "desktop_probe");
    if (!connection) return 1;
    ProbeWindow window(std::move(*connection));
    window.show();
    window.sendHello();
    return app.exec();
}
