#include "clip/paste_service.h"

#include "clip/clip_utils.h"
#include "core/installed_instance.h"
#include "clip/vd_clip_data.h"
#include "core/blocking_call.h"
#include "core/defaults_keys.h"
#include "core/log.h"

namespace vandrel {

namespace {

InstalledInstance<PasteService>& installed()
{
    static InstalledInstance<PasteService> instance;
    return instance;
}

std::string describe(const VDClip& clip)
{
    return "savedHash: " + clip.savedHash + ", primaryType: " + clip.primaryType + ", dataPath: " + clip.dataPath;
}

}  // namespace

template <class F>
auto PasteService::serialized(F f)
{
    auto locked = [this, &f] {
        std::lock_guard lock(lock_);
        return f();
    };
    if (!options_.runOnGui) return locked();
    return callThrough(locked, [this](const std::function<void()>& work) { options_.runOnGui(work); });
}

std::shared_ptr<PasteService> PasteService::make(Options options)
{
    return std::make_shared<PasteService>(Passkey{}, std::move(options));
}

PasteService::PasteService(Passkey, Options options) : options_(std::move(options)) {}

std::shared_ptr<PasteService> PasteService::shared()
{
    return installed().get();
}

std::shared_ptr<PasteService> PasteService::install(std::shared_ptr<PasteService> service)
{
    return installed().set(std::move(service));
}

bool PasteService::copyToPasteboard(const std::vector<PasteboardItem>& items, bool isUsePlainText)
{
    return serialized([&] { return writeItems(items, isUsePlainText); });
}

bool PasteService::writeItems(const std::vector<PasteboardItem>& items, bool isUsePlainText)
{
    auto& general = *options_.general;
    log.debug("pasteboard.types ->", general.types());
    std::vector<std::vector<PasteboardType>> itemTypes;
    for (const auto& item : items) itemTypes.push_back(item.types());
    log.debug("pasteboardItems types ->", itemTypes);
    if (!isUsePlainText) {
        general.clearContents();
        log.debug("pasteboard.types2 ->", general.types());
        log.info("Write pasteboardItem, not plain text");
        return general.writeObjects(copy(items));
    }
    // The text is looked for before the user's content is cleared away.
    const auto text = ClipUtils::getString(items);
    if (!text) {
        log.warning("Get plain text fail");
        return false;
    }
    general.clearContents();
    log.debug("pasteboard.types2 ->", general.types());
    return general.setString(*text, PasteboardTypes::string);
}

void PasteService::copyToPasteboard(const VDClip& clip)
{
    serialized([&] { writeClip(clip); });
}

void PasteService::writeClip(const VDClip& clip)
{
    log.verbose("Start to copy clip to pasteboard");
    const auto data = VDClipData::unarchive(clip.dataPath);
    if (!data) {
        log.error("Get data file cache from dataPath fail");
        return;
    }
    if (!options_.settings->get(DefaultsKeys::clip_isPastePlainText)) {
        log.verbose("copy data start");
        data->setToGeneralPasteboard(*options_.general);
        log.verbose("copy data end");
    } else {
        writeText(data->stringValue);
    }
}

void PasteService::copyToPasteboard(const std::string& text)
{
    serialized([&] { writeText(text); });
}

void PasteService::writeText(const std::string& text)
{
    log.verbose("Start to copy string to pasteboard");
    options_.general->declareTypes({PasteboardTypes::string});
    log.verbose("declared types");
    options_.general->setString(text, PasteboardTypes::string);
    log.verbose("had set string");
}

bool PasteService::paste(const VDClip& clip, bool isPastePlainText)
{
    auto realm = openRealm();
    if (!realm) {
        log.error("Cannot paste the clip: the database does not open ->", realm.error().what());
        return false;
    }
    try {
        if (!clip.resolve(**realm)) return false;
    } catch (const std::exception& e) {
        log.error("Cannot paste the clip: the database cannot be read ->", e.what());
        return false;
    }
    log.debug("clip -->", describe(clip));
    const auto data = clip.vdClipData();
    if (!data) return false;

    const auto& settings = *options_.settings;
    const bool plain = isPastePlainText || settings.get(DefaultsKeys::clip_isPastePlainText);
    const bool pasteAndDelete = settings.get(DefaultsKeys::clip_isPasteAndDeleteHistory);
    const bool remove = settings.get(DefaultsKeys::clip_isDeleteHistory);
    if (!plain && !pasteAndDelete && !remove) {
        copyToPasteboard(clip);
        paste();
        return true;
    }
    auto write = [&] {
        if (plain)
            copyToPasteboard(data->stringValue);
        else
            copyToPasteboard(clip);
    };
    if (pasteAndDelete) {
        // The write happens inside a borrow, so the capture service takes the change it leaves as seen.
        options_.clipService->borrowSystemClipboardWithoutNewClipCreatedOnce([&](std::function<void()> done) {
            write();
            done();
        });
    } else {
        write();
    }
    paste();
    if (pasteAndDelete || remove) options_.clipService->deleteWith(clip);
    return true;
}

void PasteService::paste()
{
    auto postKeys = options_.postKeys;
    options_.globalScheduler->scheduleAfter(kPasteDelay, [postKeys] {
        if (postKeys)
            postKeys(ClipUtils::cmdV());
        else
            ClipUtils::cmdV()->post();
        log.verbose("Pasted");
    });
}

RealmExpected<std::shared_ptr<Realm>> PasteService::openRealm() const
{
    if (options_.realmConfiguration.fileURL.empty()) return Realm::open();
    return Realm::open(options_.realmConfiguration);
}

}  // namespace vandrel
