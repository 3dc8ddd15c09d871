#include "platform/linux/x11/x11_workspace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <set>

#include "core/log.h"
#include "platform/linux/desktop/desktop_process.h"
#include "platform/linux/desktop/word_moves.h"
#include "rx/creation.h"
#include "rx/subjects.h"

namespace vandrel {

struct X11Workspace::Notices {
    rx::PublishSubject<std::optional<RunningApplication>> activations;
    // Held while the watcher thread works for the workspace; cleared when it goes.
    std::mutex watcherMutex;
    bool alive = true;
};

namespace {

void postToApplicationThread(std::function<void()> job)
{
    auto* app = QCoreApplication::instance();
    if (!app) {  // no event loop to hop to: deliver where we are
        job();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
}

std::string fileUrl(const std::string& path)
{
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded).toStdString();
}

bool isOrdinary(std::optional<X11WindowType> type)
{
    return type && *type != X11WindowType::desktop && *type != X11WindowType::dock;
}

}  // namespace

X11Workspace::X11Workspace() : X11Workspace(Options{}) {}

X11Workspace::X11Workspace(Options options)
    : desktop_(options.desktop ? std::move(options.desktop) : X11Desktop::open()),
      session_(std::move(options.session)),
      entries_(options.entries ? std::move(options.entries) : std::make_shared<DesktopEntryIndex>()),
      launcher_(std::move(options.startProcess), std::move(options.gioProgram)),
      postToMain_(options.postToMain ? std::move(options.postToMain) : postToApplicationThread),
      notices_(std::make_shared<Notices>())
{
    std::weak_ptr<Notices> notices = notices_;
    watch_ = desktop_->rootChanges().subscribe([this, notices](const X11RootChange& change) {
        if (change != X11RootChange::activeWindow) return;
        auto n = notices.lock();
        if (!n) return;
        std::lock_guard lock(n->watcherMutex);
        if (n->alive) onActiveWindowChanged();
    });
    // Subscribed first, so no change goes unseen; the lock keeps the watcher out until this is known.
    std::lock_guard lock(notices_->watcherMutex);
    if (auto front = frontmostIdentity()) {
        lastActivePid_ = front->app.processIdentifier;
        publishFrontmost(std::move(front->app), front->movesToWordStarts);
    } else {
        publishFrontmost(std::nullopt);
    }
}

X11Workspace::~X11Workspace()
{
    watch_.dispose();
    std::lock_guard lock(notices_->watcherMutex);
    notices_->alive = false;
}

void X11Workspace::onActiveWindowChanged()
{
    const auto window = desktop_->activeWindow();
    if (!window) return;  // focus left every window: no application was activated
    std::optional<Identity> identity;
    if (auto pid = desktop_->windowPid(*window)) identity = identityOf(*pid, window);
    std::optional<RunningApplication> app;
    if (identity) app = identity->app;
    const std::int32_t pid = app ? app->processIdentifier : 0;
    // Focus moving among the windows of one application is no new activation.
    if (app && pid == lastActivePid_) return;
    lastActivePid_ = pid;
    publishFrontmost(app, identity && identity->movesToWordStarts);
    std::weak_ptr<Notices> notices = notices_;
    postToMain_([notices, app] {
        if (auto n = notices.lock()) n->activations.onNext(app);
    });
}

X11Workspace::Identity X11Workspace::identify(std::int32_t pid, std::optional<X11WindowId> window)
{
    Identity identity;
    const auto process = DesktopProcess::read(pid);
    identity.startTime = process ? process->startTime : 0;
    const auto windowClass = window ? desktop_->windowClass(*window) : std::nullopt;
    identity.movesToWordStarts = WordMoves::toWordStartsOf(pid, windowClass ? windowClass->instance : std::string(),
                                                           windowClass ? windowClass->className : std::string());

    ProgramTraits traits;
    if (windowClass) {
        traits.wmInstance = windowClass->instance;
        traits.wmClass = windowClass->className;
    }
    if (process) {
        traits.comm = process->comm;
        traits.executablePath = process->executablePath;
    }

    RunningApplication& app = identity.app;
    app.processIdentifier = pid;
    if (process && !process->executablePath.empty()) app.executablePath = process->executablePath;
    if (auto entry = entries_->match(traits)) {
        app.bundleIdentifier = entry->id;
        if (!entry->name.empty()) app.localizedName = entry->name;
        app.bundleUrl = fileUrl(entry->path);
    } else if (app.executablePath) {
        app.bundleUrl = fileUrl(*app.executablePath);
    }
    for (const auto* fallback : {&traits.wmClass, &traits.wmInstance, &traits.comm}) {
        if (fallback->empty()) continue;
        if (!app.bundleIdentifier) app.bundleIdentifier = *fallback;
        if (!app.localizedName) app.localizedName = *fallback;
    }
    return identity;
}

ActivationPolicy X11Workspace::policyOf(std::int32_t pid)
{
    bool hasWindow = false;
    for (auto window : desktop_->clientList()) {
        if (desktop_->windowPid(window) != pid) continue;
        hasWindow = true;
        const auto type = desktop_->windowType(window);
        const auto state = desktop_->windowState(window);
        if ((type == X11WindowType::normal || type == X11WindowType::dialog) && state && !state->skipTaskbar)
            return ActivationPolicy::regular;
    }
    // Only panels, docks, desktops or windows kept off the task bar: a helper of the desktop.
    return hasWindow ? ActivationPolicy::accessory : ActivationPolicy::regular;
}

std::optional<RunningApplication> X11Workspace::applicationOf(std::int32_t pid, std::optional<X11WindowId> window)
{
    return identityOf(pid, window).app;
}

X11Workspace::Identity X11Workspace::identityOf(std::int32_t pid, std::optional<X11WindowId> window)
{
    const auto generation = desktop_->clientListGeneration();
    if (desktop_->followsChanges()) {
        std::lock_guard lock(identitiesMutex_);
        auto it = identities_.find(pid);
        if (it != identities_.end() && it->second.generation == generation) return it->second;
    }
    // First sight of the process, or windows came or went since: is it still the same process?
    std::optional<Identity> known;
    {
        std::lock_guard lock(identitiesMutex_);
        if (auto it = identities_.find(pid); it != identities_.end()) known = it->second;
    }
    Identity fresh;
    if (known && DesktopProcess::startTimeOf(pid) == known->startTime) {
        fresh = *known;
    } else {
        fresh = identify(pid, window);
    }
    fresh.app.activationPolicy = policyOf(pid);
    fresh.generation = generation;
    if (desktop_->followsChanges() && fresh.startTime != 0) {
        std::lock_guard lock(identitiesMutex_);
        if (identities_.size() > 32)  // forget processes that have ended
            std::erase_if(identities_, [](const auto& entry) { return !DesktopProcess::startTimeOf(entry.first); });
        identities_[pid] = fresh;
    }
    return fresh;
}

std::optional<X11Workspace::Identity> X11Workspace::frontmostIdentity()
{
    const auto window = desktop_->activeWindow();
    if (!window) return std::nullopt;
    const auto pid = desktop_->windowPid(*window);
    if (!pid) return std::nullopt;
    return identityOf(*pid, window);
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    auto identity = frontmostIdentity();
    if (!identity) return std::nullopt;
    return std::move(identity->app);
}

std::vector<RunningApplication> X11Workspace::runningApplications()
{
    std::vector<RunningApplication> out;
    std::set<std::int32_t> seen;
    for (auto window : desktop_->clientList()) {
        const auto pid = desktop_->windowPid(window);
        if (!pid || !seen.insert(*pid).second) continue;
        if (auto app = applicationOf(*pid, window)) out.push_back(std::move(*app));
    }
    return out;
}

std::optional<RunningApplication> X11Workspace::runningApplication(std::int32_t processIdentifier)
{
    // Known with the client list as it stands: it still has a window, and reading the list again (a round
    // trip) would tell nothing new.
    if (desktop_->followsChanges()) {
        const auto generation = desktop_->clientListGeneration();
        std::lock_guard lock(identitiesMutex_);
        auto it = identities_.find(processIdentifier);
        if (it != identities_.end() && it->second.generation == generation) return it->second.app;
    }
    for (auto window : desktop_->clientList())
        if (desktop_->windowPid(window) == processIdentifier) return applicationOf(processIdentifier, window);
    return std::nullopt;
}

rx::Observable<std::optional<RunningApplication>> X11Workspace::didActivateApplication()
{
    return notices_->activations.asObservable();
}

rx::Observable<PowerEvent> X11Workspace::powerEvents()
{
    return session_ ? session_->powerEvents() : rx::never<PowerEvent>();
}

bool X11Workspace::isSecureEventInputEnabled()
{
    return session_ && session_->isLocked();
}

rx::Observable<bool> X11Workspace::secureEventInputChanges()
{
    return session_ ? session_->lockChanges() : rx::never<bool>();
}

std::string X11Workspace::secureInputHolderReport()
{
    return {};
}

bool X11Workspace::openUrl(const std::string& url)
{
    return launcher_.openUrl(url);
}

bool X11Workspace::activateProcess(std::int32_t pid)
{
    for (auto window : desktop_->clientsFrontToBack()) {
        if (desktop_->windowPid(window) != pid || !isOrdinary(desktop_->windowType(window))) continue;
        return desktop_->activate(window) == X11RequestResult::ok;
    }
    return false;
}

std::optional<RunningApplication> X11Workspace::runningWhere(
    const std::function<bool(const RunningApplication&)>& matches)
{
    for (auto& app : runningApplications())
        if (matches(app)) return app;
    return std::nullopt;
}

bool X11Workspace::launchApplication(const std::string& bundleIdentifier)
{
    if (bundleIdentifier.empty()) return false;
    if (auto running = runningWhere([&](const auto& a) { return a.bundleIdentifier == bundleIdentifier; })) {
        activateProcess(running->processIdentifier);
        return true;
    }
    // Only what the desktop knows as an application: an identity from stored data is never run as a program.
    if (auto entry = entries_->findById(bundleIdentifier)) return launcher_.launchEntry(*entry).has_value();
    log.info("no installed application with that identity", bundleIdentifier);
    return false;
}

bool X11Workspace::launchApplicationNamed(const std::string& name)
{
    if (name.empty()) return false;
    if (auto running = runningWhere([&](const auto& a) { return a.localizedName == name; })) {
        activateProcess(running->processIdentifier);
        return true;
    }
    if (auto entry = entries_->findByName(name)) return launcher_.launchEntry(*entry).has_value();
    log.info("no installed application with that name", name);
    return false;
}

std::optional<RunningApplication> X11Workspace::launchApplicationAtUrl(const std::string& url)
{
    const QUrl u(QString::fromStdString(url));
    if (!u.isValid() || !u.isLocalFile()) {
        log.warning("cannot launch an application from a URL that is no local file", url);
        return std::nullopt;
    }
    const auto path = u.toLocalFile().toStdString();
    const QFileInfo file(QString::fromStdString(path));
    if (file.suffix() == QLatin1String("desktop")) {
        auto entry = entries_->findByPath(path);
        if (!entry) entry = DesktopEntry::load(path, file.completeBaseName().toStdString());
        if (!entry || entry->type != "Application") {
            log.warning("not an application's desktop entry", url);
            return std::nullopt;
        }
        if (auto running = runningWhere([&](const auto& a) { return a.bundleIdentifier == entry->id; })) {
            activateProcess(running->processIdentifier);
            return running;
        }
        const auto pid = launcher_.launchEntry(*entry);
        if (!pid) return std::nullopt;
        RunningApplication app;
        app.processIdentifier = static_cast<std::int32_t>(*pid);
        app.bundleIdentifier = entry->id;
        if (!entry->name.empty()) app.localizedName = entry->name;
        app.bundleUrl = fileUrl(path);
        return app;
    }
    if (file.isFile() && file.isExecutable()) {
        const auto canonical = file.canonicalFilePath().toStdString();
        if (auto running = runningWhere([&](const auto& a) { return a.executablePath == canonical; })) {
            activateProcess(running->processIdentifier);
            return running;
        }
        const auto pid = launcher_.launchExecutable(path);
        if (!pid) return std::nullopt;
        RunningApplication app;
        app.processIdentifier = static_cast<std::int32_t>(*pid);
        app.bundleIdentifier = file.fileName().toStdString();
        app.localizedName = app.bundleIdentifier;
        app.executablePath = canonical;
        app.bundleUrl = fileUrl(path);
        return app;
    }
    log.warning("nothing to launch at that URL", url);
    return std::nullopt;
}

}  // namespace vandrel
