#include "core/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

namespace vandrel {

namespace fs = std::filesystem;

namespace {

std::string errnoText(const fs::path& path, int error)
{
    return path.string() + ": " + std::strerror(error);
}

bool allRandomChars(std::string_view text, bool letterOnly)
{
    for (const char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && !letterOnly)) return false;
    }
    return true;
}

// Takes group and other access away from one path (never through a link). True when it changed it.
bool tightenOne(const fs::path& path, const struct stat& info, TighteningResult& result)
{
    if ((info.st_mode & 077) == 0) return false;
    if (::chmod(path.c_str(), info.st_mode & 0700) != 0) {
        result.failures.push_back(errnoText(path, errno));
        return false;
    }
    result.tightened.push_back(path);
    return true;
}

std::string octal(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

}  // namespace

std::optional<std::string> whyNotPrivateFolder(const fs::path& folder, uid_t owner)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return errno == ENOENT ? std::string("it does not exist")
                               : std::string("it cannot be read: ") + std::strerror(errno);
    if (S_ISLNK(info.st_mode)) return std::string("it is a symbolic link");
    if (!S_ISDIR(info.st_mode)) return std::string("it is not a folder");
    if (info.st_uid != owner) return "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    if (info.st_mode & 022) return "other users can write in it (mode " + octal(info.st_mode) + ")";
    if (info.st_mode & 077) return "other users can look into it (mode " + octal(info.st_mode) + ")";
    return std::nullopt;
}

std::optional<std::string> makeOwnPrivateFolder(const fs::path& folder, uid_t owner)
{
    if (::mkdir(folder.c_str(), kPrivateFolderMode) == 0) {
        // mkdir's mode passes through the umask; the owner keeps every right of its own folder.
        ::chmod(folder.c_str(), kPrivateFolderMode);
    } else if (errno != EEXIST) {
        return std::string("it cannot be made: ") + std::strerror(errno);
    }
    return whyNotPrivateFolder(folder, owner);
}

std::optional<std::string> createPrivateFolder(const fs::path& folder)
{
    if (folder.empty()) return std::string("no folder given");
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return std::nullopt;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder) {
        if (auto error = createPrivateFolder(parent)) return error;
    }
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0) {
        if (errno == EEXIST && fs::is_directory(folder, ec)) return std::nullopt;  // made meanwhile
        return errnoText(folder, errno == EEXIST ? ENOTDIR : errno);
    }
    // mkdir's mode passes through the umask; the folder gets exactly 0700.
    if (::chmod(folder.c_str(), kPrivateFolderMode) != 0) return errnoText(folder, errno);
    return std::nullopt;
}

std::optional<std::string> createPrivateFile(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) {
        if (errno == EEXIST) return std::nullopt;
        return errnoText(file, errno);
    }
    std::optional<std::string> error;
    if (::fchmod(fd, kPrivateFileMode) != 0) error = errnoText(file, errno);
    ::close(fd);
    return error;
}

TighteningResult tightenToOwner(const std::vector<fs::path>& roots)
{
    TighteningResult result;
    for (const auto& root : roots) {
        struct stat info {};
        if (::lstat(root.c_str(), &info) != 0) continue;
        if (S_ISLNK(info.st_mode)) continue;
        tightenOne(root, info, result);
        if (!S_ISDIR(info.st_mode)) continue;
        std::error_code ec;
        fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
        if (ec) {
            result.failures.push_back(root.string() + ": " + ec.message());
            continue;
        }
        for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
            if (ec) {
                result.failures.push_back(root.string() + ": " + ec.message());
                break;
            }
            struct stat entry {};
            if (::lstat(it->path().c_str(), &entry) != 0 || S_ISLNK(entry.st_mode)) continue;
            tightenOne(it->path(), entry, result);
        }
    }
    return result;
}

bool isOwnTemporaryName(const std::string& name, const std::string& ownName)
{
    if (name.size() <= ownName.size() + 1 || name.compare(0, ownName.size(), ownName) != 0 ||
        name[ownName.size()] != '.')
        return false;
    const std::string_view rest = std::string_view(name).substr(ownName.size() + 1);
    for (const std::string_view marker : {std::string_view("tmp-"), std::string_view("trim-")}) {
        if (rest.size() == marker.size() + 6 && rest.substr(0, marker.size()) == marker)
            return allRandomChars(rest.substr(marker.size()), false);
    }
    if (rest.size() != 6 || !allRandomChars(rest, true)) return false;
    for (const char c : rest)
        if (c >= 'A' && c <= 'Z') return true;
    return false;
}

std::vector<fs::path> removeStaleTemporaryFiles(const fs::path& folder, const std::vector<std::string>& ownNames,
                                                fs::file_time_type now, std::chrono::seconds maxAge)
{
    std::vector<fs::path> removed;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return removed;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const std::string name = it->path().filename().string();
        bool ours = false;
        for (const auto& own : ownNames) ours = ours || isOwnTemporaryName(name, own);
        std::error_code entryError;
        if (!ours || !it->is_regular_file(entryError) || it->is_symlink(entryError)) continue;
        const auto written = fs::last_write_time(it->path(), entryError);
        if (entryError || now - written <= maxAge) continue;
        if (fs::remove(it->path(), entryError)) removed.push_back(it->path());
    }
    return removed;
}

}  // namespace vandrel
