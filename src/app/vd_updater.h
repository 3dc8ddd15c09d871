// The update check of the program. It keeps the feed address (appcastURLString: none until
// preFetchAppcast() puts "<app_downloadBase>/app/appcast.xml" there, and none for good when no download
// host is set) and checks it on demand only: the General pane's "Check Now" and the menu's "Check for
// Updates..." reach checkForUpdates() through AppUtils::checkForUpdates(). With the General pane's
// automatic switch on (the stored app_isAutoCheckUpdates), a quiet check runs at start-up and when the
// switch is turned on: it speaks up only when a new version is there. Nothing is downloaded or installed here: the
// result is a dialog, "up to date", "version X is available" with a Download button that opens the release's page, or
// why there is no answer.
//
// The program makes one and installs it (shared()). Main thread, except feedURLString(), which any thread
// may call.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/installed_instance.h"
#include "net/update_checker.h"
#include "rx/rx.h"
#include "ui/base/vd_modal.h"

namespace vandrel {

class SettingsStore;

struct UpdaterServices {
    // Where the download host and the automatic switch are read and the switch is kept; null: the user settings.
    std::shared_ptr<SettingsStore> settings;
    // The check of the feed; null: an UpdateChecker with its defaults.
    std::shared_ptr<UpdateChecker> checker;
    // The download host's address (cleaned, empty when there is none); null: the setting app_downloadBase of
    // settings.
    std::function<std::string()> downloadBase;
    // Shows the result; null: the dialog (showResult).
    std::function<void(const UpdateCheckResult&)> presentResult;
    // Opens a release page in the browser.
    std::function<bool(const std::string& url)> openUrl;
};

class VDUpdater {
public:
    static constexpr const char* appcastPath = "/app/appcast.xml";

    explicit VDUpdater(UpdaterServices services = {});
    ~VDUpdater();
    VDUpdater(const VDUpdater&) = delete;
    VDUpdater& operator=(const VDUpdater&) = delete;

    static std::shared_ptr<VDUpdater> shared();

    static InstalledInstance<VDUpdater>& installed();
    static void installShared(std::shared_ptr<VDUpdater> updater);

    const rx::BehaviorRelay<std::optional<std::string>> appcastURLString{std::nullopt};

    // Puts the feed address in place (none when no download host is set).
    void preFetchAppcast();
    // The feed address now, or none.
    std::optional<std::string> feedURLString() const;
    // Whether there is a feed to check.
    bool hasSource() const { return appcastURLString.value().has_value(); }
    // Checks now and shows the result. A check while one runs is not started again.
    void checkForUpdates();
    // The automatic switch: stored, and a quiet check when turned on with a feed to check.
    void setAutomaticallyChecksForUpdates(bool on);
    // At start-up, after preFetchAppcast(): a quiet check when the stored switch is on.
    void checkAtLaunchWhenAutomatic();
    bool isChecking() const { return checking_; }

    // The result as a dialog through the modal; Download opens the release's link.
    static void showResult(const UpdateCheckResult& result, const std::function<bool(const std::string&)>& openUrl,
                           VDModal modal = VDModal());

private:
    // Checks now and shows only an available update; failures and "up to date" are logged.
    void checkQuietly();

    UpdaterServices services_;
    bool checking_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace vandrel
