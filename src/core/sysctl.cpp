#include "core/sysctl.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "core/string_helpers.h"

namespace vandrel {

namespace {

using Bytes = Sysctl::Bytes;
using Error = Sysctl::Error;
using BytesResult = Sysctl::Result<Bytes>;

// errno values the C library knows on Linux (EPERM .. EHWPOISON).
constexpr int kLargestKnownErrno = 133;

bool isKnownErrno(int code)
{
    return code > 0 && code <= kLargestKnownErrno;
}

Error errorFromErrno(int code)
{
    return isKnownErrno(code) ? Error::posix(code) : Error{Error::Kind::unknown, code};
}

// Text values carry their terminating NUL, as the kernel interface hands them out.
Bytes textBytes(const std::string& text)
{
    Bytes out(text.size() + 1, 0);
    std::memcpy(out.data(), text.data(), text.size());
    return out;
}

template <class T>
Bytes integerBytes(T value)
{
    Bytes out(sizeof(T));
    std::memcpy(out.data(), &value, sizeof(T));
    return out;
}

std::optional<std::string> readFile(const char* path)
{
    auto read = readWholeFile(path);
    if (!read) return std::nullopt;
    std::string text = std::move(*read);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

BytesResult unameField(std::string (*pick)(const utsname&))
{
    utsname u{};
    if (::uname(&u) != 0) return errorFromErrno(errno);
    return textBytes(pick(u));
}

BytesResult fromFiles(std::initializer_list<const char*> paths)
{
    for (const char* path : paths) {
        if (auto text = readFile(path); text && !text->empty()) return textBytes(*text);
    }
    return Error::posix(ENOENT);
}

BytesResult memorySize()
{
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return errorFromErrno(errno);
    return integerBytes<std::uint64_t>(static_cast<std::uint64_t>(info.totalram) * info.mem_unit);
}

BytesResult availableProcessors()
{
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (count < 1) return errorFromErrno(errno ? errno : ENOENT);
    return integerBytes<std::int32_t>(static_cast<std::int32_t>(count));
}

// The highest frequency of the first processor in Hz: cpufreq when the kernel offers it, else the current
// clock that /proc/cpuinfo shows.
BytesResult cpuFrequency()
{
    if (auto khz = readFile("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq")) {
        try {
            return integerBytes<std::int64_t>(std::stoll(*khz) * 1000);
        } catch (const std::exception&) {
        }
    }
    std::istringstream in(readWholeFile("/proc/cpuinfo").value_or(std::string()));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("cpu MHz", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) break;
        try {
            const double mhz = std::stod(line.substr(colon + 1));
            return integerBytes<std::int64_t>(static_cast<std::int64_t>(std::llround(mhz * 1e6)));
        } catch (const std::exception&) {
            break;
        }
    }
    return Error::posix(ENOENT);
}

struct Fact {
    const char* name;
    Sysctl::Keys keys;
    std::function<BytesResult()> read;
};

const std::vector<Fact>& facts()
{
    static const std::vector<Fact> table = {
        {"kern.ostype", {1, 1}, [] { return unameField([](const utsname& u) { return std::string(u.sysname); }); }},
        {"kern.osrelease", {1, 2}, [] { return unameField([](const utsname& u) { return std::string(u.release); }); }},
        // Linux numbers its releases only in the release text.
        {"kern.osrevision", {1, 3}, [] { return BytesResult(Error::posix(ENOENT)); }},
        {"kern.version", {1, 4}, [] { return fromFiles({"/proc/version"}); }},
        {"kern.hostname", {1, 10}, [] { return unameField([](const utsname& u) { return std::string(u.nodename); }); }},
        {"kern.osversion", {1, 65}, [] { return unameField([](const utsname& u) { return std::string(u.version); }); }},
        {"hw.machine", {6, 1}, [] { return unameField([](const utsname& u) { return std::string(u.machine); }); }},
        {"hw.model",
         {6, 2},
         [] {
             return fromFiles({"/sys/devices/virtual/dmi/id/product_name", "/sys/firmware/devicetree/base/model"});
         }},
        {"hw.cpufrequency", {6, 15}, cpuFrequency},
        {"hw.memsize", {6, 24}, memorySize},
        {"hw.availcpu", {6, 25}, availableProcessors},
    };
    return table;
}

}  // namespace

Sysctl::Error Sysctl::Error::posix(int errnoCode)
{
    return Error{Kind::posixError, errnoCode};
}

std::string Sysctl::Error::description() const
{
    switch (kind) {
        case Kind::posixError:
            return "posixError(" + std::to_string(code) + "): " + std::strerror(code);
        case Kind::unknown:
            return "unknown";
        case Kind::malformedUTF8:
            return "malformedUTF8";
        case Kind::invalidSize:
            return "invalidSize";
    }
    return "unknown";
}

Sysctl::Result<Sysctl::Bytes> Sysctl::data(const Keys& keys)
{
    for (const auto& fact : facts()) {
        if (fact.keys != keys) continue;
        auto result = fact.read();
        if (!result && result.error().kind == Error::Kind::posixError) std::cout << result.error().code << std::endl;
        return result;
    }
    std::cout << ENOENT << std::endl;
    return Error::posix(ENOENT);
}

Sysctl::Result<Sysctl::Keys> Sysctl::keys(const std::string& name)
{
    for (const auto& fact : facts()) {
        if (name == fact.name)
            return Keys(fact.keys.begin(), fact.keys.begin() + std::min(fact.keys.size(), maxNameDepth));
    }
    return Error::posix(ENOENT);
}

Sysctl::Result<std::string> Sysctl::textFrom(const Bytes& bytes)
{
    const auto nul = std::find(bytes.begin(), bytes.end(), 0);
    const std::string text(bytes.begin(), nul);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (decoder.hasError()) return Error{Error::Kind::malformedUTF8, 0};
    return text;
}

Sysctl::Result<std::string> Sysctl::string(const Keys& keys)
{
    auto bytes = data(keys);
    if (!bytes) return bytes.error();
    return textFrom(*bytes);
}

Sysctl::Result<std::string> Sysctl::string(const std::string& name)
{
    auto k = keys(name);
    if (!k) return k.error();
    return string(*k);
}

std::string Sysctl::hostName()
{
    return string({1, 10}).valueOr("");
}
std::string Sysctl::machine()
{
    return string({6, 1}).valueOr("");
}
std::string Sysctl::model()
{
    return string({6, 2}).valueOr("");
}
std::int32_t Sysctl::activeCPUs()
{
    return value<std::int32_t>({6, 25}).valueOr(0);
}
std::string Sysctl::osRelease()
{
    return string({1, 2}).valueOr("");
}
std::int32_t Sysctl::osRev()
{
    return value<std::int32_t>({1, 3}).valueOr(0);
}
std::string Sysctl::osType()
{
    return string({1, 1}).valueOr("");
}
std::string Sysctl::osVersion()
{
    return string({1, 65}).valueOr("");
}
std::string Sysctl::version()
{
    return string({1, 4}).valueOr("");
}
std::uint64_t Sysctl::memSize()
{
    return value<std::uint64_t>({6, 24}).valueOr(0);
}
std::int64_t Sysctl::cpuFreq()
{
    return value<std::int64_t>("hw.cpufrequency").valueOr(0);
}

}  // namespace vandrel
