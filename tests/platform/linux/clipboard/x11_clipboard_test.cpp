// The clipboard history on a real X server: another process (clipboard_peer) owns the CLIPBOARD selection,
// the capture service running over the desktop clipboard backend makes one clip of each copy with the
// right types and payload, and each clip written back reaches the other process byte for byte.
//
// The binary has its own main: the private X server must exist before the Qt GUI application connects to it.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <random>
#include <thread>

#include "clip/clip_service.h"
#include "clip/paste_service.h"
#include "clip/realm_migration_handlers.h"
#include "core/global_queue.h"
#include "core/log_capture.h"
#include "core/main_queue.h"
#include "core/serial_queue.h"
#include "platform/linux/clipboard/linux_pasteboard_server.h"
#include "support/x11_test_server.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Runs the GUI thread's events until condition holds or limit passes; wakes at least every 5 ms.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s)
{
    QTimer heartbeat;
    heartbeat.start(5);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

unsigned modeOf(const fs::path& path)
{
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

QByteArray bytesOf(const PasteboardData& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

using Content = std::vector<std::pair<QString, QByteArray>>;

class X11ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("vandrel-x11-clipboard-" + std::to_string(std::random_device()()));
        fs::create_directories(folder_);
        // Nothing of an earlier test may be on the clipboard when the first poll looks.
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        RealmMigrationHandlers::registerWithRealm();
        Realm::setCustomConfig(folder_);
        Realm::forgetOpenedFiles();
        settings_ = std::make_shared<SettingsStore>(folder_ / "config");
        server_ = std::make_shared<LinuxPasteboardServer>(QtClipboardPasteboard::GuiRunner{}, transferTimeout_);
        ASSERT_TRUE(server_->isDesktopClipboard());

        ClipService::Options options;
        options.pasteboards = server_;
        options.clipScheduler = clipQueue_;
        options.mainScheduler = MainQueue::shared();
        options.retryScheduler = GlobalQueue::shared();
        options.settings = settings_;
        options.clipFolder = folder_ / "cache" / "clip";
        options.imageCache = std::make_shared<ClipImageCache>(folder_ / "cache" / "thumbnail");
        service_ = ClipService::make(options);
        service_->clipConveyor()->vdClipConveyor.subscribe([this](const ClipConveyor::ClipDelivery& d) {
            std::lock_guard lock(mutex_);
            clips_.push_back(d.first);
        });
        service_->clipConveyor()->pasteboardItemsConveyor.subscribe([this](const ClipConveyor::ItemsDelivery&) {
            std::lock_guard lock(mutex_);
            ++copies_;
        });
        PasteService::Options pasteOptions;
        pasteOptions.general = server_->general();
        pasteOptions.settings = settings_;
        pasteOptions.clipService = service_;
        pasteOptions.globalScheduler = GlobalQueue::shared();
        pasteOptions.postKeys = [](const VDActionPtr&) {};
        pasteOptions.runOnGui = [](const std::function<void()>& work) { MainQueue::shared()->sync(work); };
        paste_ = PasteService::make(pasteOptions);
        service_->startMonitoring();
    }

    void TearDown() override
    {
        stopPeer();
        service_.reset();
        clipQueue_->sync([] {});
        Realm::forgetOpenedFiles();
        fs::remove_all(folder_);
    }

    std::size_t clipCount()
    {
        std::lock_guard lock(mutex_);
        return clips_.size();
    }
    VDClip clip(std::size_t i)
    {
        std::lock_guard lock(mutex_);
        return clips_.at(i);
    }

    static QString peerProgram() { return QStringLiteral(VANDREL_CLIPBOARD_PEER); }

    // The peer takes the clipboard with this content: as the toolkit does ("own"), as an old client offering one
    // format ("whole"), or offering these formats and never answering ("hang").
    void startPeer(const Content& content, const QString& how = "own")
    {
        const bool hang = how == "hang";
        QStringList args{how};
        int n = 0;
        for (const auto& [format, bytes] : content) {
            if (hang) {
                args << format;
                continue;
            }
            const QString file = QString::fromStdString((folder_ / ("offer-" + std::to_string(n++))).string());
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(bytes);
            args << format + "=" + file;
        }
        startPeerWith(args);
    }

    void startPeerWith(const QStringList& args)
    {
        peer_ = std::make_unique<QProcess>();
        peer_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer_->start(peerProgram(), args);
        ASSERT_TRUE(waitFor([&] { return peer_->canReadLine() || peer_->state() == QProcess::NotRunning; }));
        ASSERT_EQ(peer_->readLine().trimmed(), "owned");
    }

    void stopPeer()
    {
        if (!peer_) return;
        peer_->closeWriteChannel();
        if (!waitFor([&] { return peer_->state() == QProcess::NotRunning; }, 3s)) {
            peer_->kill();
            peer_->waitForFinished();
        }
        peer_.reset();
    }

    // What the peer reads from the clipboard, by format; our GUI thread serves it meanwhile.
    std::map<QString, QByteArray> peerReads()
    {
        const fs::path out = folder_ / ("read-" + std::to_string(++reads_));
        fs::create_directories(out);
        QProcess reader;
        reader.setProcessChannelMode(QProcess::ForwardedChannels);
        reader.start(peerProgram(), {"read", QString::fromStdString(out.string())});
        EXPECT_TRUE(waitFor([&] { return reader.state() == QProcess::NotRunning; }));
        std::map<QString, QByteArray> got;
        QFile list(QString::fromStdString((out / "formats").string()));
        if (!list.open(QIODevice::ReadOnly)) return got;
        for (const QByteArray& line : list.readAll().split('\n')) {
            if (line.isEmpty()) continue;
            QFile data(QString::fromStdString(out.string()) + "/" + QUrl::toPercentEncoding(QString::fromUtf8(line)));
            if (data.open(QIODevice::ReadOnly)) got[QString::fromUtf8(line)] = data.readAll();
        }
        return got;
    }

    // Captures content offered by the peer as the one next clip and checks its kept types.
    VDClipData capture(const Content& content, const std::vector<PasteboardType>& expectedTypes,
                       const QString& how = "own")
    {
        const std::size_t before = clipCount();
        startPeer(content, how);
        EXPECT_TRUE(waitFor([&] { return clipCount() == before + 1; })) << "no clip was made";
        if (clipCount() != before + 1) return {};
        const VDClip made = clip(before);
        const auto data = service_->clipData(made);
        EXPECT_TRUE(data);
        if (!data) return {};
        EXPECT_EQ(data->types, expectedTypes);
        EXPECT_EQ(made.primaryType, expectedTypes.front());
        EXPECT_EQ(modeOf(made.dataPath), 0600u);
        stopPeer();
        return *data;
    }

    // Writes the clip back (in a borrow, so it makes no clip) and checks that the peer reads every format it
    // offered with the same bytes.
    void pasteBackAndCompare(const VDClip& made, const Content& content)
    {
        service_->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
            paste_->copyToPasteboard(made);
            done();
        });
        const auto read = peerReads();
        for (const auto& [format, bytes] : content) {
            ASSERT_TRUE(read.count(format)) << format.toStdString() << " is not offered back";
            EXPECT_EQ(read.at(format), bytes) << format.toStdString();
        }
    }

    std::chrono::milliseconds transferTimeout_ = QtClipboardPasteboard::kTransferTimeout;
    fs::path folder_;
    std::shared_ptr<SerialQueue> clipQueue_ = SerialQueue::make("tqm.Vandrel.clipService");
    std::shared_ptr<SettingsStore> settings_;
    std::shared_ptr<LinuxPasteboardServer> server_;
    std::shared_ptr<ClipService> service_;
    std::shared_ptr<PasteService> paste_;
    std::unique_ptr<QProcess> peer_;
    std::mutex mutex_;
    std::vector<VDClip> clips_;
    int copies_ = 0;
    int reads_ = 0;
};

TEST_F(X11ClipboardTest, TextIsCapturedAndPastedBackByteForByte)
{
    const Content text{{"text/plain", QByteArray("Grüße, 世界 — copied")}};
    const auto data = capture(text, {PasteboardTypes::string});
    EXPECT_EQ(data.stringValue, "Grüße, 世界 — copied");
    EXPECT_EQ(clip(0).stringData, "Grüße, 世界 — copied");
    pasteBackAndCompare(clip(0), text);
    EXPECT_EQ(clipCount(), 1u);
    EXPECT_EQ(modeOf(folder_ / "cache" / "clip"), 0700u);
    EXPECT_EQ(modeOf(folder_ / Realm::kFileName), 0600u);
}

TEST_F(X11ClipboardTest, LatinOneTextOfAnOlderClientIsCapturedAsUnicode)
{
    capture({{"STRING", QByteArray("Gr\xfc\xdf"
                                   "e, caf\xe9")}},
            {PasteboardTypes::string}, "whole");
    EXPECT_EQ(clip(0).stringData, "Grüße, café");
}

TEST_F(X11ClipboardTest, HtmlWithTextKeepsBoth)
{
    const Content rich{{"text/html", QByteArray("<b>bold</b> and <i>more</i>")},
                       {"text/plain", QByteArray("bold and more")}};
    const auto data = capture(rich, {PasteboardTypes::string, PasteboardTypes::html});
    ASSERT_TRUE(data.html);
    EXPECT_EQ(bytesOf(*data.html), rich[0].second);
    pasteBackAndCompare(clip(0), rich);
}

TEST_F(X11ClipboardTest, AnImageIsCapturedWithItsThumbnail)
{
    QImage picture(300, 120, QImage::Format_ARGB32);
    picture.fill(QColor(10, 200, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    const Content image{{"image/png", png}};
    const auto data = capture(image, {PasteboardTypes::png});
    ASSERT_TRUE(data.image);
    EXPECT_EQ(bytesOf(*data.image), png);
    EXPECT_FALSE(clip(0).thumbnailPath.empty());
    pasteBackAndCompare(clip(0), image);
}

TEST_F(X11ClipboardTest, AFileListIsCapturedAsFileUrls)
{
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const fs::path pictureFile = folder_ / "a picture.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(pictureFile.string()), "PNG"));
    const QByteArray uris = QUrl::fromLocalFile(QString::fromStdString(pictureFile.string())).toEncoded() + "\r\n" +
                            QUrl::fromLocalFile("/etc/hostname").toEncoded() + "\r\n";
    const Content files{{"text/uri-list", uris}};
    startPeer(files);
    ASSERT_TRUE(waitFor([&] { return clipCount() == 1; }));
    const auto data = service_->clipData(clip(0));
    ASSERT_TRUE(data);
    EXPECT_NE(std::find(data->types.begin(), data->types.end(), PasteboardTypes::fileUrl), data->types.end());
    ASSERT_EQ(data->fileURLs.size(), 2u);
    EXPECT_EQ(QUrl(QString::fromStdString(data->fileURLs[0])).toLocalFile().toStdString(), pictureFile.string());
    EXPECT_FALSE(clip(0).thumbnailPath.empty());  // read from the local picture file
    stopPeer();
    pasteBackAndCompare(clip(0), files);
}

TEST_F(X11ClipboardTest, APasswordManagersCopyMakesNoClip)
{
    startPeer({{"text/plain", QByteArray("correct horse battery staple")},
               {"x-kde-passwordManagerHint", QByteArray("secret")}});
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(mutex_);
        return copies_ == 1;
    }));
    // The store step and any publication it made have run once the clip queue drained twice.
    clipQueue_->sync([] {});
    clipQueue_->sync([] {});
    EXPECT_EQ(clipCount(), 0u);
    const fs::path clips = folder_ / "cache" / "clip";
    EXPECT_TRUE(!fs::exists(clips) || fs::is_empty(clips));
}

TEST_F(X11ClipboardTest, WritesFromAnotherThreadAndTheGuiThreadAtOnceDoNotDeadlock)
{
    // Another queue writes (as a restore of the extra clipboards does) while the GUI thread writes (as an
    // action does); a write holding the lock while it waits for the GUI thread would stall both for good.
    auto other = std::async(std::launch::async, [this] {
        for (int i = 0; i < 50; ++i) paste_->copyToPasteboard("from a queue " + std::to_string(i));
    });
    int i = 0;
    EXPECT_TRUE(waitFor([&] {
        paste_->copyToPasteboard("from the GUI thread " + std::to_string(i++));
        return other.wait_for(0s) == std::future_status::ready;
    }));
    const auto text = server_->general()->string(PasteboardTypes::string);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->rfind("from", 0) == 0);
}

// Another application pasting fetches our content's data from us: the pasteboard tells, on both X selections.
TEST_F(X11ClipboardTest, AnotherApplicationFetchingOurContentIsReported)
{
    std::atomic<int> fetches{0};
    auto general = server_->general();
    ASSERT_TRUE(general->reportsFetches());
    general->setFetchHandler([&] { ++fetches; });
    paste_->copyToPasteboard("fetch me");
    EXPECT_EQ(fetches.load(), 0);
    const auto read = peerReads();
    ASSERT_TRUE(read.count("text/plain"));
    EXPECT_EQ(read.at("text/plain"), QByteArray("fetch me"));
    EXPECT_GT(fetches.load(), 0);

    auto primary = server_->selection();
    ASSERT_TRUE(primary);
    primary->clearContents();
    primary->writeObjects({[] {
        PasteboardItem item;
        item.setString(PasteboardTypes::string, "in primary");
        return item;
    }()});
    EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection).toStdString(), "in primary");
    EXPECT_EQ(general->string(PasteboardTypes::string), "fetch me");
}

// Asks the clipboard's owner for a format over a connection of the test's own, and goes without the answer. The
// X server hands requests to the owner in the order it took them.
void askOwnerFor(const char* format)
{
    ::Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, format, False),
                      XInternAtom(d, "VANDREL_TEST", False), w, CurrentTime);
    XSync(d, False);
    XCloseDisplay(d);
}

TEST_F(X11ClipboardTest, AnOwnerThatNeverAnswersIsAskedOncePerChange)
{
    // The backend alone: nothing else reads the clipboard meanwhile.
    paste_.reset();
    service_.reset();
    clipQueue_->sync([] {});
    // Markers the test asks for itself; the owner offers them too.
    const QStringList markers{"application/x-vandrel-marker-1", "application/x-vandrel-marker-2"};
    auto general = server_->general();
    const auto takeClipboard = [&] {
        if (peer_) {
            peer_->kill();
            peer_->waitForFinished();
        }
        const std::int64_t before = general->changeCount();
        startPeer({{"text/plain", {}}, {"text/html", {}}, {"image/png", {}}, {markers[0], {}}, {markers[1], {}}},
                  "hang");
        return waitFor([&] { return general->changeCount() != before; });
    };
    // How often the owner was asked for its content before it was asked for this marker: it names each request
    // (its toolkit may name one twice), also while earlier ones hang, and any request made before the marker's
    // reached it before the marker's.
    const auto requestsBefore = [&](const QString& marker) {
        askOwnerFor(marker.toLatin1().constData());
        int requests = 0;
        bool marked = false;
        EXPECT_TRUE(waitFor([&] {
            while (!marked && peer_->canReadLine()) {
                const QString line = QString::fromUtf8(peer_->readLine().trimmed());
                marked = line == "asked " + marker;
                requests += line.startsWith("asked ") && !markers.contains(line.mid(6));
            }
            return marked;
        }));
        return requests;
    };

    // A notice of an earlier change that comes late counts as a change of its own, whose content may be
    // asked for again; on a loaded machine the owner may not even get to the first request before the read gives
    // up on it. Each round takes the clipboard anew, until both reads saw one change and the first reached the
    // owner.
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(takeClipboard());
        const std::int64_t count = general->changeCount();
        // The reads run off the GUI thread, as the capture service's do.
        auto first = std::async(std::launch::async, [general] { return general->pasteboardItems(); });
        ASSERT_TRUE(waitFor([&] { return first.wait_for(0s) == std::future_status::ready; }, 30s));
        EXPECT_FALSE(first.get());
        const int asked = requestsBefore(markers[0]);
        auto again = std::async(std::launch::async, [general] { return general->pasteboardItems(); });
        ASSERT_TRUE(waitFor([&] { return again.wait_for(0s) == std::future_status::ready; }, 30s));
        EXPECT_FALSE(again.get());
        const int askedAgain = requestsBefore(markers[1]);
        if (general->changeCount() != count || asked == 0) continue;
        EXPECT_EQ(askedAgain, 0);
        peer_->kill();
        peer_->waitForFinished();
        peer_.reset();
        return;
    }
    FAIL() << "the clipboard kept changing, or the owner was never asked";
}

// The X server has a new owner before the toolkit tells of it: a read made for the change before never hands
// over the new owner's content, which is the next change's to read.
TEST_F(X11ClipboardTest, AReadForAChangeNeverGivesTheNextOwnersContent)
{
    paste_.reset();
    service_.reset();
    clipQueue_->sync([] {});
    auto general = server_->general();
    const auto read = [general] {
        return std::async(std::launch::async, [general] { return general->pasteboardItems(); });
    };
    // This thread handles no event until the second read waits, so the toolkit tells of no change meanwhile.
    const std::int64_t count = general->changeCount();
    EXPECT_EQ(read().get(), std::vector<PasteboardItem>{});  // nobody owns it
    const QString file = QString::fromStdString((folder_ / "offer").string());
    QFile offer(file);
    ASSERT_TRUE(offer.open(QIODevice::WriteOnly));
    offer.write("the next change");
    offer.close();
    peer_ = std::make_unique<QProcess>();
    peer_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    peer_->start(peerProgram(), {"own", "text/plain=" + file});
    ASSERT_TRUE(peer_->waitForReadyRead(15000));
    ASSERT_EQ(peer_->readLine().trimmed(), "owned");
    test::ScopedLogCapture logged;
    auto second = read();
    const std::string waits =
        "The clipboard changed owner during the read: that read is dropped once the change is counted";
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!logged->contains(LogLevel::debug, waits) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);  // the other thread's read, not a timer
    ASSERT_TRUE(logged->contains(LogLevel::debug, waits));
    ASSERT_EQ(general->changeCount(), count);
    ASSERT_TRUE(waitFor([&] { return second.wait_for(0s) == std::future_status::ready; }));
    EXPECT_FALSE(second.get());
    EXPECT_NE(general->changeCount(), count);
    const auto next = read().get();
    ASSERT_TRUE(next && next->size() == 1u);
    EXPECT_EQ(next->front().string(PasteboardTypes::string), "the next change");
}

// Another client takes the clipboard later than the last event the toolkit handled, which has not handled the
// notice yet: the X server ignores our request to own it, and the write says so, once the notice is handled no more.
TEST_F(X11ClipboardTest, AWriteTheServerRefusesReturnsFalseUntilTheNoticeOfTheNewOwnerIsHandled)
{
    paste_.reset();
    service_.reset();
    clipQueue_->sync([] {});
    auto general = server_->general();
    const auto write = [&](const std::string& text) {
        general->clearContents();
        PasteboardItem item;
        item.setString(PasteboardTypes::string, text);
        return general->writeObjects({item});
    };
    ASSERT_TRUE(write("ours"));  // the toolkit's time is set; it handles no event until the refused write
    ::Display* d = XOpenDisplay(nullptr);
    const ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d, w, PropertyChangeMask);
    // A server time later than every event the toolkit handled: the clock ticks in milliseconds.
    ::Time handled = 0, later = 0;
    for (int i = 0; i < 1000000 && later <= handled; ++i) {
        XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
        XEvent event;
        XWindowEvent(d, w, PropertyChangeMask, &event);
        (handled ? later : handled) = event.xproperty.time;
    }
    XSetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False), w, later);
    XSync(d, False);
    test::ScopedLogCapture logged;
    const std::int64_t count = general->changeCount();
    EXPECT_FALSE(write("refused"));
    EXPECT_EQ(logged->count(LogLevel::warning), 1u);
    ASSERT_TRUE(waitFor([&] { return general->changeCount() > count + 1; }));
    EXPECT_TRUE(write("after the notice"));
    XCloseDisplay(d);
}

// An owner that keeps each chunk just within the transfer time-out is stalled by the read's own bound.
class X11ShortReadTest : public X11ClipboardTest {
protected:
    X11ShortReadTest() { transferTimeout_ = 1s; }
};

TEST_F(X11ShortReadTest, AnOwnerThatDripsItsContentEndsTheReadAtItsBound)
{
    paste_.reset();
    service_.reset();
    clipQueue_->sync([] {});
    startPeerWith({"drip", "text/plain"});
    auto general = server_->general();
    ASSERT_TRUE(waitFor([&] { return general->changeCount() > 0; }));
    // Without a bound for the whole read, this one would never end.
    auto read = std::async(std::launch::async, [general] { return general->pasteboardItems(); });
    ASSERT_TRUE(waitFor([&] { return read.wait_for(0s) == std::future_status::ready; }, 60s));
    EXPECT_FALSE(read.get());
}

// The size limit is applied before the content is read: an owner that announces 100 MB is never asked for it
// whole, and the capture goes on with the next copy.
TEST_F(X11ClipboardTest, AHundredMegabyteItemIsSkippedUnread)
{
    test::ScopedLogCapture logged;
    startPeer({{"text/plain", QByteArray(100 * 1024 * 1024, 'x')}});
    const std::string skipped = "The clipboard content is larger than the limit (clip_maxItemMegabytes): not kept ->";
    ASSERT_TRUE(waitFor([&] { return logged->contains(LogLevel::warning, skipped); }));
    stopPeer();
    capture({{"text/plain", QByteArray("small")}}, {PasteboardTypes::string});
    EXPECT_EQ(clipCount(), 1u);
    std::size_t said = 0;
    for (const auto& e : logged->entries()) said += e.message == skipped;
    EXPECT_EQ(said, 1u);
    std::lock_guard lock(mutex_);
    EXPECT_EQ(copies_, 1);
}

// Content larger than one X request comes in chunks; under the limit it is kept whole.
TEST_F(X11ClipboardTest, ContentSentInChunksIsCapturedWhole)
{
    QByteArray text(20 * 1024 * 1024, 'a');
    for (qsizetype i = 0; i < text.size(); i += 4099) text[i] = static_cast<char>('b' + i % 20);
    const auto data = capture({{"text/plain", text}}, {PasteboardTypes::string});
    EXPECT_EQ(QByteArray::fromStdString(data.stringValue), text);
}

// Reads that wait long enough for anything to happen meanwhile.
class X11LongReadTest : public X11ClipboardTest {
protected:
    X11LongReadTest() { transferTimeout_ = 60s; }
};

// While an owner holds the capture's read, the GUI thread goes on with its events; another copy meanwhile ends
// that read and makes one clip, of the new content.
TEST_F(X11LongReadTest, TheGuiThreadRunsDuringALongReadAndACopyMeanwhileMakesOneClip)
{
    test::ScopedLogCapture logged;
    startPeer({{"text/plain", {}}}, "hang");
    ASSERT_TRUE(waitFor([&] { return peer_->canReadLine(); }));
    ASSERT_TRUE(peer_->readLine().startsWith("asked "));  // the capture's read is waiting for the owner now
    bool ran = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(waitFor([&] { return ran; }));
    EXPECT_FALSE(logged->contains(
        LogLevel::warning, "The clipboard owner does not hand over its content: not read until the clipboard changes"));
    EXPECT_EQ(clipCount(), 0u);

    auto stuck = std::move(peer_);
    capture({{"text/plain", QByteArray("copied meanwhile")}}, {PasteboardTypes::string});
    capture({{"text/plain", QByteArray("the next copy")}}, {PasteboardTypes::string});
    ASSERT_EQ(clipCount(), 2u);
    EXPECT_EQ(clip(0).stringData, "copied meanwhile");
    EXPECT_EQ(clip(1).stringData, "the next copy");
    stuck->kill();
    stuck->waitForFinished();
}

}  // namespace
}  // namespace vandrel

int main(int argc, char** argv)
{
    vandrel::test::X11TestServer server(false);
    if (!server.ok()) {
        std::fprintf(stderr, "No private X server: %s\n", server.failure().c_str());
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 0;
    {
        QGuiApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    // Clipboard work still queued on the shared queues may hold an X connection a moment longer; stopping the
    // server under it ends the process through Xlib's handler. The server dies with this process instead.
    std::fflush(nullptr);
    std::_Exit(result);
}
