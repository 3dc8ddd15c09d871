// The simulated desktop: running and installed applications, the frontmost one, activation notifications,
// secure input, sleep and wake, opened URLs. Notifications are delivered synchronously on the thread that
// drives the change.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/workspace.h"
#include "rx/subjects.h"

namespace vandrel {

class SimWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override;
    std::vector<RunningApplication> runningApplications() override;
    rx::Observable<std::optional<RunningApplication>> didActivateApplication() override;
    rx::Observable<PowerEvent> powerEvents() override;
    bool isSecureEventInputEnabled() override;
    rx::Observable<bool> secureEventInputChanges() override { return secureInputChanges_.asObservable(); }
    std::string secureInputHolderReport() override;
    bool openUrl(const std::string& url) override;
    bool launchApplication(const std::string& bundleIdentifier) override;
    bool launchApplicationNamed(const std::string& name) override;
    std::optional<RunningApplication> launchApplicationAtUrl(const std::string& url) override;
    std::set<std::string> terminalLikeApplicationIds() override;

    // Starts an application (a pid of 0 gets the next free one) without activating it; returns it as
    // running.
    RunningApplication addApplication(RunningApplication app);
    // Ends it; when it was frontmost, no application is frontmost afterwards.
    void removeApplication(std::int32_t pid);
    // An application that launching (by identity, name or URL) starts when it is not running.
    void addInstalledApplication(RunningApplication app);
    // Makes the running application frontmost and notifies, also when it already was frontmost.
    void activate(std::int32_t pid);
    // An activation notification that names no application; the frontmost application is unchanged.
    void notifyActivationWithoutApplication();

    void setSecureEventInput(bool on);
    // The holder named in secureInputHolderReport(); absent makes the report empty.
    void setSecureInputHolder(std::optional<std::int32_t> pid);
    void setSecureInputHolderReport(std::string report);

    void sleep();
    void wake();

    void setTerminalLikeApplicationIds(std::set<std::string> ids);
    // The identities of the applications whose text moves by word starts (FrontmostSnapshot), from the next
    // activation on.
    void setWordStartApplicationIds(std::set<std::string> ids);
    // Runs inside every frontmostApplication() query, before it answers: a desktop that is slow to answer.
    void setFrontmostQueryHook(std::function<void()> hook);
    std::vector<std::string> openedUrls() const;
    // Every launch request, as given.
    std::vector<std::string> launchRequests() const;

private:
    std::optional<RunningApplication> launchWhere(const std::string& request,
                                                  bool (*matches)(const RunningApplication&, const std::string&));

    mutable std::mutex mutex_;
    std::vector<RunningApplication> running_;
    std::vector<RunningApplication> installed_;
    std::optional<std::int32_t> frontmostPid_;
    std::int32_t nextPid_ = 1000;
    bool secureInput_ = false;
    rx::PublishSubject<bool> secureInputChanges_;
    std::string secureInputReport_;
    std::optional<std::set<std::string>> terminalIds_;
    std::set<std::string> wordStartIds_;
    std::vector<std::string> openedUrls_;
    std::vector<std::string> launchRequests_;
    std::function<void()> frontmostQueryHook_;
    rx::PublishSubject<std::optional<RunningApplication>> activations_;
    rx::PublishSubject<PowerEvent> power_;
};

}  // namespace vandrel
