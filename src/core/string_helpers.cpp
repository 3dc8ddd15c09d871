#include "core/string_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace vandrel {

namespace {

std::error_code writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return {errno, std::generic_category()};
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return {};
}

// Offset of the character at index, or text.size() when the text is shorter.
std::size_t byteOffsetOfCharacter(std::string_view text, std::int64_t index)
{
    std::size_t at = 0;
    for (std::int64_t n = 0; n < index && at < text.size(); ++n) {
        ++at;
        // Continuation bytes belong to the character before them.
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
    }
    return at;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> content(std::in_place);
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) content.reset();
        if (n <= 0) break;
        content->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

std::error_code appendTo(std::string_view text, const std::filesystem::path& file)
{
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        const auto ec = writeAll(fd, text);
        ::close(fd);
        return ec;
    }
    // The files appended to are logs: the owner's only, whatever the umask.
    fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return {errno, std::generic_category()};
    ::fchmod(fd, 0600);
    auto ec = writeAll(fd, text);
    if (::close(fd) != 0 && !ec) ec = {errno, std::generic_category()};
    return ec;
}

std::string characterRange(std::string_view text, std::int64_t lower, std::int64_t upper)
{
    if (lower < 0) lower = 0;
    if (upper <= lower) return {};
    const std::size_t start = byteOffsetOfCharacter(text, lower);
    if (start >= text.size()) return {};
    const std::size_t end = start + byteOffsetOfCharacter(text.substr(start), upper - lower);
    return std::string(text.substr(start, end - start));
}

std::vector<LineRange> lineRanges(std::string_view text)
{
    std::vector<LineRange> ranges;
    std::size_t begin = 0;
    std::size_t i = 0;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    while (i < text.size()) {
        std::size_t breakLength = 0;
        const unsigned char c = byte(i);
        if (c == '\n') {
            breakLength = 1;
        } else if (c == '\r') {
            breakLength = (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else if (c == 0xC2 && i + 1 < text.size() && byte(i + 1) == 0x85) {
            breakLength = 2;
        } else if (c == 0xE2 && i + 2 < text.size() && byte(i + 1) == 0x80 &&
                   (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) {
            breakLength = 3;
        }
        if (breakLength == 0) {
            ++i;
            continue;
        }
        ranges.push_back({begin, i, i + breakLength});
        i += breakLength;
        begin = i;
    }
    if (begin < text.size()) ranges.push_back({begin, text.size(), text.size()});
    return ranges;
}

std::vector<std::string> lines(std::string_view text)
{
    std::vector<std::string> out;
    for (const auto& r : lineRanges(text)) out.emplace_back(text.substr(r.begin, r.end - r.begin));
    return out;
}

std::string byteCountText(std::uint64_t bytes)
{
    if (bytes == 0) return "Zero KB";
    if (bytes == 1) return "1 byte";
    if (bytes < 1000) return std::to_string(bytes) + " bytes";
    static constexpr const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.5 && unit + 1 < std::size(units)) {
        value /= 1000.0;
        ++unit;
    }
    // Whole kilobytes, one decimal for megabytes, two above; trailing zeros dropped.
    const int decimals = unit == 0 ? 0 : unit == 1 ? 1 : 2;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string number = text;
    if (number.find('.') != std::string::npos) {
        while (number.back() == '0') number.pop_back();
        if (number.back() == '.') number.pop_back();
    }
    return number + " " + units[unit];
}

}  // namespace vandrel
