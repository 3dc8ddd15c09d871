// A capture service on the simulated desktop with virtual time: a private data folder and database, the
// settings, the default conveyor's output collected. Another application copies through copyText/own;
// time moves only through advance().
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "clip/clip_service.h"
#include "clip/paste_service.h"
#include "clip/realm_migration_handlers.h"
#include "clip/vd_clipboard.h"
#include "core/dispatch_queues.h"
#include "platform/sim/sim_pasteboard_server.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel::test {

namespace fs = std::filesystem;

inline PasteboardItem textItem(const std::string& text)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::string, text);
    return item;
}

inline unsigned modeOf(const fs::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

class ClipRig {
public:
    // configure may change the capture service's options before it is made.
    explicit ClipRig(bool start = true, const std::function<void(ClipService::Options&)>& configure = {})
        : folder(fs::temp_directory_path() / ("vandrel-clip-rig-" + std::to_string(std::random_device()())))
    {
        fs::create_directories(folder);
        RealmMigrationHandlers::registerWithRealm();
        Realm::setCustomConfig(folder);
        Realm::forgetOpenedFiles();
        settings = std::make_shared<SettingsStore>(folder / "config");
        images = std::make_shared<ClipImageCache>(folder / "cache" / "thumbnail");
        ClipService::Options options;
        options.pasteboards = pasteboards;
        options.clipScheduler = clock;
        options.mainScheduler = clock;
        options.settings = settings;
        options.clipFolder = clipFolder();
        options.imageCache = images;
        options.activeClipboard = [this] { return activeClipboard; };
        options.now = [this] { return now; };
        if (configure) configure(options);
        service = ClipService::make(options);
        service->clipConveyor()->vdClipConveyor.subscribe(
            [this](const ClipConveyor::ClipDelivery& d) { clips.push_back(d); });
        service->clipConveyor()->pasteboardItemsConveyor.subscribe(
            [this](const ClipConveyor::ItemsDelivery& d) { copies.push_back(d); });
        if (start) service->startMonitoring();
    }
    ~ClipRig()
    {
        DispatchQueues::realm()->sync([] {});
        service.reset();
        Realm::forgetOpenedFiles();
        fs::remove_all(folder);
    }
    ClipRig(const ClipRig&) = delete;
    ClipRig& operator=(const ClipRig&) = delete;

    fs::path clipFolder() const { return folder / "cache" / "clip"; }
    Pasteboard& general() { return *pasteboards->general(); }
    MemoryPasteboard& generalMemory() { return static_cast<MemoryPasteboard&>(*pasteboards->general()); }
    MemoryPasteboard& generalBoard() { return *pasteboards->generalBoard(); }

    // Another application takes the clipboard with these items.
    void own(const std::vector<PasteboardItem>& items)
    {
        general().clearContents();
        general().writeObjects(items);
    }
    void copyText(const std::string& text) { own({textItem(text)}); }
    // Copies and lets one normal poll period pass.
    void copyAndPoll(const std::string& text)
    {
        copyText(text);
        advance(250);
    }

    void advance(int ms) { clock->advanceBy(std::chrono::milliseconds(ms)); }

    // A paste service on this desktop and clock, posting its strokes to postKeys.
    PasteService::Options pasteOptions(std::function<void(const VDActionPtr&)> postKeys) const
    {
        PasteService::Options options;
        options.general = pasteboards->general();
        options.settings = settings;
        options.clipService = service;
        options.globalScheduler = clock;
        options.postKeys = std::move(postKeys);
        return options;
    }

    Realm& realm()
    {
        auto opened = Realm::open();
        if (!opened) throw std::runtime_error(opened.error().what());
        return **opened;
    }
    // Files a clip into the system clipboard's history, as the extra-clipboard service does.
    void storeInHistory(const VDClip& clip)
    {
        Realm& r = realm();
        r.write([&] {
            VDClipboard::add(r, VDClipboard{0, 3});
            VDClipboard{0, 3}.appendToHistory(r, clip);
        });
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& [clip, board] : clips) out.push_back(clip.stringData);
        return out;
    }

    const fs::path folder;
    const std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    const std::shared_ptr<SimPasteboardServer> pasteboards = std::make_shared<SimPasteboardServer>();
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<ClipImageCache> images;
    std::shared_ptr<ClipService> service;
    std::optional<VDClipboard> activeClipboard = VDClipboard{0, 3};
    std::int64_t now = 1700000000;
    std::vector<ClipConveyor::ClipDelivery> clips;
    std::vector<ClipConveyor::ItemsDelivery> copies;
};

}  // namespace vandrel::test
