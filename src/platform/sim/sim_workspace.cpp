#include "platform/sim/sim_workspace.h"

#include <algorithm>

namespace vandrel {

std::optional<RunningApplication> SimWorkspace::frontmostApplication()
{
    std::function<void()> hook;
    {
        std::lock_guard lock(mutex_);
        hook = frontmostQueryHook_;
    }
    if (hook) hook();
    std::lock_guard lock(mutex_);
    if (!frontmostPid_) return std::nullopt;
    for (const auto& app : running_)
        if (app.processIdentifier == *frontmostPid_) return app;
    return std::nullopt;
}

std::vector<RunningApplication> SimWorkspace::runningApplications()
{
    std::lock_guard lock(mutex_);
    return running_;
}

rx::Observable<std::optional<RunningApplication>> SimWorkspace::didActivateApplication()
{
    return activations_.asObservable();
}

rx::Observable<PowerEvent> SimWorkspace::powerEvents()
{
    return power_.asObservable();
}

bool SimWorkspace::isSecureEventInputEnabled()
{
    std::lock_guard lock(mutex_);
    return secureInput_;
}

std::string SimWorkspace::secureInputHolderReport()
{
    std::lock_guard lock(mutex_);
    return secureInputReport_;
}

bool SimWorkspace::openUrl(const std::string& url)
{
    std::lock_guard lock(mutex_);
    openedUrls_.push_back(url);
    return true;
}

std::optional<RunningApplication> SimWorkspace::launchWhere(const std::string& request,
                                                            bool (*matches)(const RunningApplication&,
                                                                            const std::string&))
{
    std::optional<RunningApplication> app;
    {
        std::lock_guard lock(mutex_);
        launchRequests_.push_back(request);
        for (const auto& a : running_) {
            if (matches(a, request)) {
                app = a;
                break;
            }
        }
        if (!app) {
            for (const auto& a : installed_) {
                if (!matches(a, request)) continue;
                RunningApplication started = a;
                started.processIdentifier = nextPid_++;
                running_.push_back(started);
                app = started;
                break;
            }
        }
    }
    if (app) activate(app->processIdentifier);
    return app;
}

bool SimWorkspace::launchApplication(const std::string& bundleIdentifier)
{
    return launchWhere(bundleIdentifier,
                       [](const RunningApplication& a, const std::string& id) { return a.bundleIdentifier == id; })
        .has_value();
}

bool SimWorkspace::launchApplicationNamed(const std::string& name)
{
    return launchWhere(name, [](const RunningApplication& a, const std::string& n) { return a.localizedName == n; })
        .has_value();
}

std::optional<RunningApplication> SimWorkspace::launchApplicationAtUrl(const std::string& url)
{
    return launchWhere(url, [](const RunningApplication& a, const std::string& u) { return a.bundleUrl == u; });
}

std::set<std::string> SimWorkspace::terminalLikeApplicationIds()
{
    std::lock_guard lock(mutex_);
    return terminalIds_ ? *terminalIds_ : defaultTerminalLikeApplicationIds();
}

RunningApplication SimWorkspace::addApplication(RunningApplication app)
{
    std::lock_guard lock(mutex_);
    if (app.processIdentifier == 0) app.processIdentifier = nextPid_++;
    nextPid_ = std::max(nextPid_, app.processIdentifier + 1);
    std::erase_if(running_, [&](const RunningApplication& a) { return a.processIdentifier == app.processIdentifier; });
    running_.push_back(app);
    return app;
}

void SimWorkspace::removeApplication(std::int32_t pid)
{
    {
        std::lock_guard lock(mutex_);
        std::erase_if(running_, [&](const RunningApplication& a) { return a.processIdentifier == pid; });
        if (frontmostPid_ != pid) return;
        frontmostPid_.reset();
    }
    publishFrontmost(std::nullopt);
}

void SimWorkspace::addInstalledApplication(RunningApplication app)
{
    std::lock_guard lock(mutex_);
    installed_.push_back(std::move(app));
}

void SimWorkspace::activate(std::int32_t pid)
{
    std::optional<RunningApplication> app;
    bool wordStarts = false;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(running_.begin(), running_.end(),
                               [&](const RunningApplication& a) { return a.processIdentifier == pid; });
        if (it == running_.end()) return;
        app = *it;
        frontmostPid_ = pid;
        wordStarts = app->bundleIdentifier && wordStartIds_.contains(*app->bundleIdentifier);
    }
    publishFrontmost(app, wordStarts);
    activations_.onNext(app);
}

void SimWorkspace::notifyActivationWithoutApplication()
{
    activations_.onNext(std::nullopt);
}

void SimWorkspace::setSecureEventInput(bool on)
{
    {
        std::lock_guard lock(mutex_);
        if (secureInput_ == on) return;
        secureInput_ = on;
    }
    secureInputChanges_.onNext(on);
}

void SimWorkspace::setSecureInputHolder(std::optional<std::int32_t> pid)
{
    setSecureInputHolderReport(pid ? "    | |   \"kCGSSessionSecureInputPID\"=" + std::to_string(*pid) + "\n"
                                   : std::string());
}

void SimWorkspace::setSecureInputHolderReport(std::string report)
{
    std::lock_guard lock(mutex_);
    secureInputReport_ = std::move(report);
}

void SimWorkspace::sleep()
{
    power_.onNext(PowerEvent::willSleep);
}

void SimWorkspace::wake()
{
    power_.onNext(PowerEvent::didWake);
}

void SimWorkspace::setTerminalLikeApplicationIds(std::set<std::string> ids)
{
    {
        std::lock_guard lock(mutex_);
        terminalIds_ = std::move(ids);
    }
    republishFrontmost();
}

void SimWorkspace::setWordStartApplicationIds(std::set<std::string> ids)
{
    std::lock_guard lock(mutex_);
    wordStartIds_ = std::move(ids);
}

void SimWorkspace::setFrontmostQueryHook(std::function<void()> hook)
{
    std::lock_guard lock(mutex_);
    frontmostQueryHook_ = std::move(hook);
}

std::vector<std::string> SimWorkspace::openedUrls() const
{
    std::lock_guard lock(mutex_);
    return openedUrls_;
}

std::vector<std::string> SimWorkspace::launchRequests() const
{
    std::lock_guard lock(mutex_);
    return launchRequests_;
}

}  // namespace vandrel
