// Text helpers: reading a whole file, appending to a file, cutting by character offsets, splitting into lines, byte
// counts. (Localized templates are in localize.h.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace vandrel {

// The bytes of a file the program names itself (/proc and /sys files, its own logs, its shipped texts), read
// through a descriptor no program started meanwhile inherits; absent when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

// Appends text at the end of the file; when the file cannot be opened for writing (it does not exist),
// writes text as the file's whole content (a new file is 0600). The error of that last write, or an empty
// error code.
std::error_code appendTo(std::string_view text, const std::filesystem::path& file);

// The characters (code points of the UTF-8 text) at offsets lower up to, not including, upper; upper past
// the end means the end. A lower offset past the end or above upper gives the empty text.
std::string characterRange(std::string_view text, std::int64_t lower, std::int64_t upper);

// Where each line of text begins and ends, line breaks left out. Breaks: LF, CR, CR LF, U+0085, U+2028,
// U+2029. A break at the very end makes no empty last line. Works on bytes: text need not be valid UTF-8.
struct LineRange {
    std::size_t begin;  // first byte of the line
    std::size_t end;    // one past its last byte, before the break
    std::size_t next;   // first byte after the break
};
std::vector<LineRange> lineRanges(std::string_view text);
std::vector<std::string> lines(std::string_view text);

// A byte count in decimal units with the unit's name: "Zero KB", "512 bytes", "524 KB", "5.2 MB".
std::string byteCountText(std::uint64_t bytes);

}  // namespace vandrel
