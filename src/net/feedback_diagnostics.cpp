#include "net/feedback_diagnostics.h"

#include <QLocale>
#include <QStringList>
#include <QSysInfo>
#include <algorithm>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log_manager.h"
#include "core/sysctl.h"
#include "net/screen_resolution.h"

namespace vandrel {

namespace {

template <class T>
T read(const std::function<T()>& source, T (*fallback)())
{
    return source ? source() : fallback();
}

std::vector<std::string> systemLanguages()
{
    std::vector<std::string> out;
    for (const QString& language : QLocale::system().uiLanguages()) out.push_back(language.toStdString());
    return out;
}

std::string prettyOsName()
{
    return QSysInfo::prettyProductName().toStdString();
}

std::uint64_t systemMemory()
{
    return Sysctl::memSize();
}

std::optional<std::pair<double, double>> systemScreen()
{
    return primaryScreenSize();
}

}  // namespace

FeedbackDiagnostics::FeedbackDiagnostics() : FeedbackDiagnostics(Sources{}) {}

FeedbackDiagnostics::FeedbackDiagnostics(Sources sources) : sources_(std::move(sources)) {}

std::uint64_t FeedbackDiagnostics::memoryInGiB(std::uint64_t bytes)
{
    return bytes >> 30;
}

const std::vector<std::string>& FeedbackDiagnostics::privateSettingsKeys()
{
    static const std::vector<std::string> keys = {DefaultsKeys::feedback_username.key(),
                                                  DefaultsKeys::feedback_email.key()};
    return keys;
}

std::string FeedbackDiagnostics::settingsDebugDescription(const std::optional<nlohmann::json>& domain)
{
    if (!domain || !domain->is_object()) return "nil";
    const auto& hidden = privateSettingsKeys();
    std::string text;
    for (const auto& [key, value] : domain->items()) {
        if (std::find(hidden.begin(), hidden.end(), key) != hidden.end()) continue;
        if (!text.empty()) text += ", ";
        // Replacement keeps a stray invalid byte from failing the whole dump.
        text += nlohmann::json(key).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ": " +
                value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    return text.empty() ? "[:]" : "[" + text + "]";
}

const nlohmann::json& FeedbackDiagnostics::systemInfo()
{
    std::call_once(systemInfoOnce_, [this] {
        const auto& s = sources_;
        const std::vector<std::string> languages = read(s.preferredLanguages, systemLanguages);
        const std::string version = s.version.value_or(AppInfo::version());
        const std::string build = s.buildVersion.value_or(AppInfo::buildVersion());
        systemInfo_ = nlohmann::json{
            {"model", read(s.model, Sysctl::model)},
            {"osRelease", read(s.osRelease, Sysctl::osRelease)},
            {"machine", read(s.machine, Sysctl::machine)},
            {"memorySize", memoryInGiB(read(s.memorySize, systemMemory))},
            {"osType", read(s.osType, Sysctl::osType)},
            {"activeCPUs", read(s.activeCPUs, Sysctl::activeCPUs)},
            {"vandrelVersion", version + " (" + build + ")"},
            {"screenResolution", screenResolutionText(read(s.screenSize, systemScreen))},
            {"language", languages.empty() ? std::string() : languages.front()},
            {"osVersion", read(s.osVersion, prettyOsName)},
        };
    });
    return systemInfo_;
}

const std::string& FeedbackDiagnostics::defaultsDebugDescription()
{
    std::call_once(defaultsOnce_, [this] {
        SettingsStore& store = sources_.settings ? *sources_.settings : Defaults();
        defaultsDebugDescription_ = settingsDebugDescription(store.persistentDomain());
    });
    return defaultsDebugDescription_;
}

std::filesystem::path FeedbackDiagnostics::debugLogUrl() const
{
    return sources_.debugLogUrl.value_or(LogManager::debugLogFileUrl());
}

}  // namespace vandrel
