#include "engine/working_environment.h"

#include <charconv>
#include <mutex>
#include <regex>

#include "core/log.h"
#include "platform/terminal_applications.h"

namespace vandrel {

struct WorkingEnvironment::History {
    mutable std::mutex mutex;
    std::vector<RunningApplication> apps;
};

namespace {

std::set<std::string> terminalLikeIds(Workspace& workspace, std::optional<std::vector<std::string>> userApps)
{
    if (userApps) workspace.setUserTerminalLikeApplicationIds(std::move(*userApps));
    return workspace.allTerminalLikeApplicationIds();
}

}  // namespace

WorkingEnvironment::WorkingEnvironment(std::shared_ptr<Platform> platform, rx::SchedulerPtr scheduler,
                                       std::optional<std::vector<std::string>> userTerminalApps)
    : platform_(std::move(platform)),
      scheduler_(std::move(scheduler)),
      emacsShortcutApps_(terminalLikeIds(platform_->workspace(), std::move(userTerminalApps))),
      history_(std::make_shared<History>())
{
    if (auto front = platform_->workspace().frontmostApplication()) {
        history_->apps.push_back(*front);
        isOnEmacsShortcutApp.accept(TerminalApplications::matches(emacsShortcutApps_, *front));
    }
}

WorkingEnvironment::~WorkingEnvironment() = default;

void WorkingEnvironment::startMonitoring()
{
    if (started_) return;
    started_ = true;

    frontmostApplication.accept(platform_->workspace().frontmostApplication());

    const auto frontmost = frontmostApplication;
    platform_->workspace()
        .didActivateApplication()
        .subscribe([frontmost](const std::optional<RunningApplication>& app) { frontmost.accept(app); })
        .disposed(disposeBag_);

    const auto emacs = isOnEmacsShortcutApp;
    const auto emacsApps = emacsShortcutApps_;
    frontmostApplication
        .subscribe([emacs, emacsApps](const std::optional<RunningApplication>& app) {
            if (!app) return;
            emacs.accept(TerminalApplications::matches(emacsApps, *app));
        })
        .disposed(disposeBag_);

    const auto history = history_;
    const auto previous = preActiveApplication;
    frontmostApplication
        .subscribe([history, previous](const std::optional<RunningApplication>& app) {
            if (!app) return;
            std::optional<RunningApplication> second;
            {
                std::lock_guard lock(history->mutex);
                auto& apps = history->apps;
                while (apps.size() >= 2) apps.pop_back();
                apps.insert(apps.begin(), *app);
                if (apps.size() >= 2) second = apps[1];
            }
            previous.accept(second);
        })
        .disposed(disposeBag_);

    startSecureInputMonitoring();
}

void WorkingEnvironment::startSecureInputMonitoring()
{
    struct Last {
        std::mutex mutex;
        std::optional<bool> value;
    };
    auto last = std::make_shared<Last>();
    const auto secure = isInSecureInput;
    const auto publish = [secure, last](bool on) {
        {
            std::lock_guard lock(last->mutex);
            if (last->value == on) return;
            last->value = on;
        }
        secure.accept(on);
    };
    // The platform tells of each change; the state at start is read once, on the scheduler like before.
    platform_->workspace().secureEventInputChanges().subscribe(publish).disposed(disposeBag_);
    scheduler_
        ->schedule([platform = platform_, publish] { publish(platform->workspace().isSecureEventInputEnabled()); })
        .disposed(disposeBag_);
}

std::vector<RunningApplication> WorkingEnvironment::activeApplicationsHistory() const
{
    std::lock_guard lock(history_->mutex);
    return history_->apps;
}

std::optional<SecureInputHolder> WorkingEnvironment::getAppUsingSecureInput()
{
    auto platform = Platform::shared();
    if (!platform) {
        log.warning("Get app using SecureInput fail, 0");
        return std::nullopt;
    }
    return getAppUsingSecureInput(platform->workspace());
}

std::optional<SecureInputHolder> WorkingEnvironment::getAppUsingSecureInput(Workspace& workspace)
{
    const std::string output = workspace.secureInputHolderReport();
    log.debug("getAppUsingSecureInput grep SecureInput ->", output);
    static const std::regex pattern(R"("kCGSSessionSecureInputPID"=(\d+))");
    std::smatch match;
    if (!std::regex_search(output, match, pattern)) {
        log.warning("Get app using SecureInput fail, 0");
        return std::nullopt;
    }
    const std::string digits = match[1].str();
    std::int32_t pid = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    std::optional<RunningApplication> app;
    if (ec == std::errc() && ptr == digits.data() + digits.size()) app = workspace.runningApplication(pid);
    if (!app) {
        log.warning("Get app using SecureInput fail, 1");
        return std::nullopt;
    }
    return SecureInputHolder{app->localizedName, pid};
}

}  // namespace vandrel
