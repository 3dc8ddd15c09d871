#include "net/google_reporter.h"

#include <QCoreApplication>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <cmath>
#include <iostream>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/sysctl.h"
#include "net/reply_limits.h"
#include "net/screen_resolution.h"

// The analytics collection address; a build setting, empty unless the build defines it.
#ifndef VANDREL_GA_COLLECT_URL
#define VANDREL_GA_COLLECT_URL ""
#endif

namespace vandrel {

namespace {

constexpr const char* kNotSet = "(not set)";

std::string orNotSet(const std::string& value)
{
    return value.empty() ? kNotSet : value;
}
std::string orNotSet(const QString& value)
{
    return orNotSet(value.toStdString());
}

GoogleReporter::Parameters combined(GoogleReporter::Parameters base, const GoogleReporter::Parameters& over)
{
    for (const auto& [key, value] : over) base.insert_or_assign(key, value);
    return base;
}

}  // namespace

std::string GoogleReporter::defaultCollectionBaseUrl()
{
    return VANDREL_GA_COLLECT_URL;
}

GoogleReporter& GoogleReporter::shared()
{
    static GoogleReporter reporter;
    return reporter;
}

GoogleReporter::GoogleReporter() : GoogleReporter(Options{}) {}

GoogleReporter::GoogleReporter(Options options) : options_(std::move(options)) {}

GoogleReporter::~GoogleReporter()
{
    if (network_) network_->deleteLater();
}

bool GoogleReporter::quietMode() const
{
    std::lock_guard lock(mutex_);
    return quietMode_;
}

void GoogleReporter::setQuietMode(bool quiet)
{
    std::lock_guard lock(mutex_);
    quietMode_ = quiet;
}

bool GoogleReporter::anonymizeIP() const
{
    std::lock_guard lock(mutex_);
    return anonymizeIP_;
}

void GoogleReporter::setAnonymizeIP(bool anonymize)
{
    std::lock_guard lock(mutex_);
    anonymizeIP_ = anonymize;
}

void GoogleReporter::setUserAgent(std::string userAgent)
{
    std::lock_guard lock(mutex_);
    userAgent_ = std::move(userAgent);
}

void GoogleReporter::configure(std::string trackerId)
{
    std::lock_guard lock(mutex_);
    trackerId_ = std::move(trackerId);
}

SettingsStore& GoogleReporter::settings() const
{
    return options_.settings ? *options_.settings : Defaults();
}

void GoogleReporter::print(const std::string& line) const
{
    if (options_.print) {
        options_.print(line);
    } else {
        std::cout << line << std::endl;
    }
}

std::string GoogleReporter::cached(std::optional<std::string>& slot, const std::function<std::string()>& compute)
{
    {
        std::lock_guard lock(mutex_);
        if (slot) return *slot;
    }
    std::string value = compute();
    std::lock_guard lock(mutex_);
    if (!slot) slot = std::move(value);
    return *slot;
}

std::string GoogleReporter::userAgent()
{
    return cached(userAgent_, [this] {
        // No legacy browser engine to ask: the fallback agent text, naming this system.
        const std::string name = cached(appName_, [this] {
            return options_.appName ? orNotSet(*options_.appName) : orNotSet(QCoreApplication::applicationName());
        });
        const std::string version = cached(
            appVersion_, [this] { return orNotSet(options_.appVersion ? *options_.appVersion : AppInfo::version()); });
        return "Mozilla/5.0 (X11; Linux " + orNotSet(Sysctl::machine()) + ") AppleWebKit/603.2.4 (KHTML, like Gecko) " +
               name + "/" + version;
    });
}

GoogleReporter::Parameters GoogleReporter::commonFields()
{
    const std::string name = cached(appName_, [this] {
        return options_.appName ? orNotSet(*options_.appName) : orNotSet(QCoreApplication::applicationName());
    });
    const std::string identifier = cached(appIdentifier_, [this] {
        return options_.appIdentifier ? orNotSet(*options_.appIdentifier)
                                      : orNotSet(QCoreApplication::organizationDomain());
    });
    const std::string version = cached(
        appVersion_, [this] { return orNotSet(options_.appVersion ? *options_.appVersion : AppInfo::version()); });
    const std::string build = cached(
        appBuild_, [this] { return orNotSet(options_.appBuild ? *options_.appBuild : AppInfo::buildVersion()); });
    const std::string formatted = cached(formattedVersion_, [&] { return version + " (" + build + ")"; });
    const std::string client = cached(uniqueUserIdentifier_, [this] {
        bool created = false;
        std::string id = settings().uniqueUserIdentifier(&created);
        if (created && !quietMode()) print("New GA user with identifier:  " + id);
        return id;
    });
    const std::string language = cached(userLanguage_, [] {
        const QStringList languages = QLocale::system().uiLanguages();
        return orNotSet(languages.isEmpty() ? QString() : languages.front());
    });
    const std::string screen = cached(screenResolution_, [this] {
        return screenResolutionText(options_.screenSize ? options_.screenSize() : primaryScreenSize());
    });
    const std::string region = cached(userRegion_, [] {
        const QLocale locale = QLocale::system();
        if (locale.territory() == QLocale::AnyTerritory) return std::string(kNotSet);
        return orNotSet(QLocale::territoryToCode(locale.territory()));
    });
    const std::string currency =
        cached(userCurrency_, [] { return orNotSet(QLocale::system().currencySymbol(QLocale::CurrencyIsoCode)); });
    std::string tracker;
    {
        std::lock_guard lock(mutex_);
        tracker = trackerId_.value_or("");
    }
    return Parameters{
        {"tid", tracker},  {"aid", identifier}, {"cid", client},  {"an", name},
        {"av", formatted}, {"ua", userAgent()}, {"ul", language}, {"sr", screen},
        {"geoid", region}, {"cu", currency},    {"v", "1"},
    };
}

void GoogleReporter::session(bool start, const Parameters& parameters)
{
    const std::string name = cached(appName_, [this] {
        return options_.appName ? orNotSet(*options_.appName) : orNotSet(QCoreApplication::applicationName());
    });
    send("", combined(parameters, {{"sc", start ? "start" : "end"}, {"dp", name}}));
}

void GoogleReporter::screenView(const std::string& name, const Parameters& parameters)
{
    send("screenView", combined(parameters, {{"cd", name}}));
}

void GoogleReporter::event(const std::string& category, const std::string& action, const std::string& label,
                           const Parameters& parameters)
{
    send("event", combined(parameters, {{"ec", category}, {"ea", action}, {"el", label}}));
}

void GoogleReporter::exception(const std::string& description, bool isFatal, const Parameters& parameters)
{
    send("exception", combined(parameters, {{"exd", description}, {"exf", isFatal ? "true" : "false"}}));
}

void GoogleReporter::send(const std::string& type, const Parameters& parameters)
{
    if (!settings().get(DefaultsKeys::app_isAllowSendUsage)) {
        log.debug("Disable to send usage by user.");
        return;
    }
    bool hasTracker = false;
    {
        std::lock_guard lock(mutex_);
        hasTracker = trackerId_.has_value() && !trackerId_->empty();
    }
    if (!hasTracker) {
        print("GoogleReporter event ignored.");
        print("You must set your tracker ID UA-XXXXX-XX with GoogleReporter.configure()");
        return;
    }
    if (options_.collectionBaseUrl.empty()) {
        log.debug("Usage reporting has no collection address in this build; nothing is sent.");
        return;
    }

    Parameters fields = commonFields();
    if (!type.empty()) fields["t"] = type;
    if (anonymizeIP())
        fields["aip"] = "1";
    else
        fields.erase("aip");
    fields = combined(std::move(fields), parameters);

    const auto url = generateUrl(fields);
    if (!url) return;
    const std::string address = url->toString(QUrl::FullyEncoded).toStdString();
    if (!quietMode()) print("Sending GA Report:  " + address);

    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        print("Failed to deliver GA Request.  no application event loop");
        return;
    }
    if (!network_) network_ = new QNetworkAccessManager(app);
    QNetworkRequest request(*url);
    request.setTransferTimeout(static_cast<int>(options_.timeout.count()));
    ReplyLimits::prepare(request);
    QNetworkReply* reply = network_->get(request);
    ReplyLimits* limits = ReplyLimits::watch(reply, options_.maxReplyBytes, options_.deadline);
    const auto printer = options_.print;
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, limits, printer] {
        if (reply->error() != QNetworkReply::NoError) {
            const std::string line = "Failed to deliver GA Request.  " +
                                     (limits->exceeded() ? *limits->exceeded() : reply->errorString().toStdString());
            if (printer)
                printer(line);
            else
                std::cout << line << std::endl;
        }
        reply->deleteLater();
    });
}

std::optional<QUrl> GoogleReporter::generateUrl(const Parameters& fields)
{
    QByteArray query;
    for (const auto& [key, value] : fields) {
        if (!query.isEmpty()) query += '&';
        query += QUrl::toPercentEncoding(QString::fromStdString(key));
        query += '=';
        query += QUrl::toPercentEncoding(QString::fromStdString(value));
    }
    const std::string path = "collect?" + query.toStdString();
    const QUrl base(QString::fromStdString(options_.collectionBaseUrl), QUrl::StrictMode);
    QUrl url = base.resolved(QUrl(QStringLiteral("collect")));
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    if (!base.isValid() || base.isRelative() || !url.isValid()) {
        print("GoogleReporter failed to generate a valid GA url for path  " + path + "   relative to  " +
              options_.collectionBaseUrl);
        return std::nullopt;
    }
    return url;
}

}  // namespace vandrel
