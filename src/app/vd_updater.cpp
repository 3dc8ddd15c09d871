#include "app/vd_updater.h"

#include "core/constants.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/installed_instance.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/settings_store.h"

namespace vandrel {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

VDUpdater::VDUpdater(UpdaterServices services) : services_(std::move(services))
{
    if (!services_.settings) services_.settings = std::shared_ptr<SettingsStore>(std::shared_ptr<void>(), &Defaults());
    if (!services_.checker) services_.checker = std::make_shared<UpdateChecker>();
    if (!services_.downloadBase) {
        services_.downloadBase = [settings = services_.settings] {
            return Constants::WebServer::cleanBase(settings->get(DefaultsKeys::app_downloadBase),
                                                   DefaultsKeys::app_downloadBase.key());
        };
    }
    if (!services_.presentResult) {
        services_.presentResult = [openUrl = services_.openUrl](const UpdateCheckResult& result) {
            showResult(result, openUrl);
        };
    }
}

VDUpdater::~VDUpdater()
{
    *alive_ = false;
}

InstalledInstance<VDUpdater>& VDUpdater::installed()
{
    static InstalledInstance<VDUpdater> slot;
    return slot;
}

std::shared_ptr<VDUpdater> VDUpdater::shared()
{
    return installed().get();
}

void VDUpdater::installShared(std::shared_ptr<VDUpdater> updater)
{
    installed().install(std::move(updater));
}

void VDUpdater::preFetchAppcast()
{
    const std::string base = services_.downloadBase();
    if (base.empty()) {
        log.info("No download host is set (app_downloadBase): update checks have no source");
        return;
    }
    appcastURLString.accept(base + appcastPath);
}

std::optional<std::string> VDUpdater::feedURLString() const
{
    const auto url = appcastURLString.value();
    if (url)
        log.debug("feedURLString ->", *url);
    else
        log.debug("feedURLString ->");
    return url;
}

void VDUpdater::checkForUpdates()
{
    if (checking_) {
        log.info("An update check is running already");
        return;
    }
    checking_ = true;
    std::weak_ptr<bool> alive = alive_;
    services_.checker->check(feedURLString(), [this, alive](const UpdateCheckResult& result) {
        if (!alive.lock()) return;
        checking_ = false;
        services_.presentResult(result);
    });
}

void VDUpdater::setAutomaticallyChecksForUpdates(bool on)
{
    services_.settings->set(DefaultsKeys::app_isAutoCheckUpdates, on);
    log.info("Automatic update checks ->", on);
    if (on) checkQuietly();
}

void VDUpdater::checkAtLaunchWhenAutomatic()
{
    if (services_.settings->get(DefaultsKeys::app_isAutoCheckUpdates)) checkQuietly();
}

void VDUpdater::checkQuietly()
{
    if (!hasSource()) {
        log.info("Automatic update checks have no source (app_downloadBase is empty)");
        return;
    }
    if (checking_) return;
    checking_ = true;
    std::weak_ptr<bool> alive = alive_;
    services_.checker->check(feedURLString(), [this, alive](const UpdateCheckResult& result) {
        if (!alive.lock()) return;
        checking_ = false;
        if (result.status == UpdateCheckResult::Status::updateAvailable)
            services_.presentResult(result);
        else
            log.info("Automatic update check ->",
                     result.status == UpdateCheckResult::Status::upToDate ? std::string("up to date") : result.reason);
    });
}

void VDUpdater::showResult(const UpdateCheckResult& result, const std::function<bool(const std::string&)>& openUrl,
                           VDModal modal)
{
    modal.setTitle(qs(localized("_update_window_title")));
    switch (result.status) {
        case UpdateCheckResult::Status::upToDate:
            modal.alert(qs(localized("_update_up_to_date")), qs(localized("_update_up_to_date_informative")),
                        qs(localized("OK")));
            return;
        case UpdateCheckResult::Status::updateAvailable: {
            const AppcastItem& item = *result.item;
            if (modal.confirm(qs(localized("_update_available", item.version)), qs(item.title),
                              qs(localized("Download")), qs(localized("Later")))) {
                if (!Appcast::isWebLink(item.link))
                    log.warning("The release page is not a web address and is not opened");
                else if (!openUrl || !openUrl(item.link))
                    log.warning("The release page could not be opened ->", item.link);
            }
            return;
        }
        case UpdateCheckResult::Status::noSource:
        case UpdateCheckResult::Status::failed:
            modal.alert(qs(localized("_update_check_failed")), qs(result.reason), qs(localized("OK")));
            return;
    }
}

}  // namespace vandrel
