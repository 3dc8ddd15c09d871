// Opt-in usage statistics over the analytics measurement protocol (version 1): each hit is one HTTP GET of
// "collect?<fields>" under the collection address.
//
// Nothing is sent, and no client identifier is created, unless the user allows it (app_isAllowSendUsage),
// a tracker id has been configured and the build has a collection address. The reporter's diagnostics go
// to standard output (or the injected printer); the consent line goes to the log at debug level.
//
//   GoogleReporter::shared().configure("UA-12345-6");
//   GoogleReporter::shared().session(true);
//
// Hits are issued on the main thread; the request runs on Qt's network stack with a time-out, a deadline and
// a cap on its reply (ReplyLimits), nothing waits for it, and its outcome is only printed.
#pragma once

#include <QPointer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

class QNetworkAccessManager;

namespace vandrel {

class SettingsStore;

class GoogleReporter {
public:
    using Parameters = std::map<std::string, std::string>;

    struct Options {
        // Absolute https address ending in "/"; hits go to "collect" under it. Empty: nothing is sent.
        std::string collectionBaseUrl = defaultCollectionBaseUrl();
        std::chrono::milliseconds timeout{15000};
        // How long a hit may take in all, and how large its reply may be (nothing of it is used).
        std::chrono::milliseconds deadline{30000};
        qint64 maxReplyBytes = 64 * 1024;
        // The settings the consent and the client identifier are read from; Defaults() when null.
        SettingsStore* settings = nullptr;
        // Where the diagnostics go, one line per call; standard output when empty.
        std::function<void(const std::string& line)> print;
        // The program's facts; unset ones are read from the application object and AppInfo.
        std::optional<std::string> appName;
        std::optional<std::string> appIdentifier;
        std::optional<std::string> appVersion;
        std::optional<std::string> appBuild;
        // The main screen's size in pixels; read from the GUI application when unset.
        std::function<std::optional<std::pair<double, double>>()> screenSize;
    };

    // The collection address this build was made with (empty unless configured at build time).
    static std::string defaultCollectionBaseUrl();

    static GoogleReporter& shared();

    GoogleReporter();
    explicit GoogleReporter(Options options);
    ~GoogleReporter();
    GoogleReporter(const GoogleReporter&) = delete;
    GoogleReporter& operator=(const GoogleReporter&) = delete;

    bool quietMode() const;
    void setQuietMode(bool quiet);
    bool anonymizeIP() const;
    void setAnonymizeIP(bool anonymize);
    std::string userAgent();
    void setUserAgent(std::string userAgent);
    const std::string& collectionBaseUrl() const { return options_.collectionBaseUrl; }

    // Stores the tracker id, replacing any earlier one.
    void configure(std::string trackerId);

    // A session hit: "sc" start or end, "dp" the application name, no type.
    void session(bool start, const Parameters& parameters = {});
    void screenView(const std::string& name, const Parameters& parameters = {});
    void event(const std::string& category, const std::string& action, const std::string& label = "",
               const Parameters& parameters = {});
    void exception(const std::string& description, bool isFatal, const Parameters& parameters = {});

    // The hit address for fields; every key and value is percent-encoded as a query component, so "&",
    // "=", "+" or "#" inside a value stay inside it. None when no valid address results (printed).
    std::optional<QUrl> generateUrl(const Parameters& fields);

private:
    void send(const std::string& type, const Parameters& parameters);
    Parameters commonFields();
    std::string cached(std::optional<std::string>& slot, const std::function<std::string()>& compute);
    void print(const std::string& line) const;
    SettingsStore& settings() const;

    Options options_;
    mutable std::mutex mutex_;
    bool quietMode_ = true;
    bool anonymizeIP_ = true;
    std::optional<std::string> trackerId_;
    std::optional<std::string> uniqueUserIdentifier_;
    std::optional<std::string> userAgent_;
    std::optional<std::string> appName_;
    std::optional<std::string> appIdentifier_;
    std::optional<std::string> appVersion_;
    std::optional<std::string> appBuild_;
    std::optional<std::string> formattedVersion_;
    std::optional<std::string> userLanguage_;
    std::optional<std::string> screenResolution_;
    std::optional<std::string> userRegion_;
    std::optional<std::string> userCurrency_;
    // Owned by the application object (it may outlive this reporter's use, and the shared reporter outlives
    // the application object); deleted with this reporter when still there.
    QPointer<QNetworkAccessManager> network_;
};

}  // namespace vandrel
