// The desktop clipboard backend over the offscreen platform's in-process clipboard: the GUI-thread hop, the
// change count, our own content, and what is read of another owner's.
#include "platform/linux/clipboard/qt_clipboard_pasteboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>
#include <atomic>
#include <future>

#include "core/main_queue.h"
#include "platform/linux/clipboard/linux_pasteboard_server.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;

// Runs f on another thread while the GUI thread serves the hops it makes.
template <class F>
auto offGuiThread(F f)
{
    auto result = std::async(std::launch::async, std::move(f));
    while (result.wait_for(0s) != std::future_status::ready) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result.get();
}

// Another application takes the clipboard.
void foreignCopy(const std::map<QString, QByteArray>& content)
{
    auto* mime = new QMimeData;
    for (const auto& [format, bytes] : content) mime->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

PasteboardItem text(const std::string& value)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::string, value);
    return item;
}

TEST(QtClipboardPasteboardTest, OurWritesCountOnceAndReadBackWithoutTheClipboard)
{
    std::atomic<int> hops{0};
    auto board = QtClipboardPasteboard::make([&](const std::function<void()>& work) {
        if (!MainQueue::isMainThread()) ++hops;
        MainQueue::shared()->sync(work);
    });
    const auto start = board->changeCount();

    EXPECT_EQ(board->clearContents(), start + 1);
    EXPECT_TRUE(board->writeObjects({text("ours")}));
    EXPECT_EQ(board->changeCount(), start + 1);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "ours");
    EXPECT_EQ(hops.load(), 0);  // on the GUI thread nothing hops

    const auto items = offGuiThread([&] {
        board->declareTypes({PasteboardTypes::string, PasteboardTypes::html});
        board->setString("<p>", PasteboardTypes::html);
        return board->pasteboardItems();
    });
    EXPECT_GT(hops.load(), 0);
    EXPECT_EQ(board->changeCount(), start + 2);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].string(PasteboardTypes::html), "<p>");
    EXPECT_EQ(board->types(), (std::vector<PasteboardType>{PasteboardTypes::html, PasteboardTypes::string}));
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("text/html"), "<p>");
}

TEST(QtClipboardPasteboardTest, AnotherOwnersContentIsReadThroughTheWhitelist)
{
    auto board = QtClipboardPasteboard::make();
    const auto start = board->changeCount();
    foreignCopy({{"text/plain", "plain"},
                 {"text/html", "<i>x</i>"},
                 {"TARGETS", "junk"},
                 {"application/x-private", "private"},
                 {"image/png", "\x89PNG"},
                 {"image/bmp", "BM"}});
    EXPECT_EQ(board->changeCount(), start + 1);
    // We no longer own anything: a write that did not clear first is refused.
    EXPECT_FALSE(board->writeObjects({text("appended")}));

    const auto items = offGuiThread([&] { return board->pasteboardItems(); });
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].types(),
              (std::vector<PasteboardType>{PasteboardTypes::string, PasteboardTypes::html, PasteboardTypes::png}));
    EXPECT_EQ(board->string(PasteboardTypes::html), "<i>x</i>");
    EXPECT_EQ(board->data(PasteboardTypes::bmp), std::nullopt);

    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    EXPECT_EQ(board->changeCount(), start + 2);
    EXPECT_EQ(board->pasteboardItems(), std::vector<PasteboardItem>{});
}

TEST(QtClipboardPasteboardTest, TheServerGivesTheDesktopClipboardAndPrivateNamedOnes)
{
    LinuxPasteboardServer server;
    EXPECT_TRUE(server.isDesktopClipboard());
    auto worker = server.named("worker");
    EXPECT_EQ(server.named("worker"), worker);
    worker->setString("private", PasteboardTypes::string);
    EXPECT_NE(QGuiApplication::clipboard()->text(), "private");
}

}  // namespace
}  // namespace vandrel
