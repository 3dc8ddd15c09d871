// What every clipboard component leans on: the key strokes the clipboard services post (cut, copy, paste,
// select to line start), plain text out of pasteboard items, and the two file operations of the clip store.
//
// The strokes are actions built once, posted through the platform's key poster, which turns them into the
// desktop's own idiom (Ctrl+C, or Ctrl+Shift+C in a terminal). Every member may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/vd_action.h"
#include "platform/pasteboard_item.h"

namespace vandrel {

class ClipUtils {
public:
    ClipUtils() = delete;

    // Command+X, Command+C, Command+V, Shift+Command+Left.
    static const VDActionPtr& cmdX();
    static const VDActionPtr& cmdC();
    static const VDActionPtr& cmdV();
    static const VDActionPtr& shiftCmdLeft();

    // Logs "copy sent..." and posts cmdC.
    static void copy();

    // The plain text of the items: the data of the first item holding the plain-text type, as valid UTF-8
    // (broken sequences become U+FFFD); none when no item has it. A pure function: no pasteboard is touched.
    static std::optional<std::string> getString(const std::vector<PasteboardItem>& items);

    // Removes the file at path if there is one; a failure is dropped.
    static void deleteData(const std::filesystem::path& path);

    // Whether name is one the clip store gives its payloads: <UUID>.data.
    static bool isPayloadName(const std::string& name);
    // Whether name is one of a payload's temporary file while it is written: <UUID>.data.XXXXXX.
    static bool isPayloadTemporaryName(const std::string& name);
    // Whether path names an entry directly inside folder once the links of both folders are resolved (the
    // entry itself may be anything, or nothing).
    static bool isInFolder(const std::filesystem::path& folder, const std::filesystem::path& path);
    // Whether path is a payload file the clip store made in folder: a payload name, directly inside the
    // folder once links are resolved, and a regular file, not a link. A stored row's path is data: only
    // such a file may be deleted for it.
    static bool isOwnPayload(const std::filesystem::path& folder, const std::filesystem::path& path);

    // Makes sure a folder exists at path, creating it and its parents; the folder itself is made (or
    // tightened to) owner-only access, as it holds clipboard history. False when it cannot be had (a plain
    // file in the way, no permission).
    static bool prepareSaveToPath(const std::filesystem::path& path);

    // The first `count` characters (code points) of UTF-8 text, never splitting a sequence; broken
    // sequences become U+FFFD.
    static std::string prefixOfCharacters(const std::string& text, std::int64_t count);
};

}  // namespace vandrel
