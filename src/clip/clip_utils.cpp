#include "clip/clip_utils.h"

#include <QString>
#include <regex>
#include <system_error>

#include "core/log.h"

namespace vandrel {

namespace {

VDActionPtr stroke(int keycode, ModifierSet modifiers)
{
    return VDAction::make()->addKeyCombo(keycode, std::move(modifiers), false, std::nullopt);
}

}  // namespace

const VDActionPtr& ClipUtils::cmdX()
{
    static const VDActionPtr action = stroke(7, {55});
    return action;
}

const VDActionPtr& ClipUtils::cmdC()
{
    static const VDActionPtr action = stroke(8, {55});
    return action;
}

const VDActionPtr& ClipUtils::cmdV()
{
    static const VDActionPtr action = stroke(9, {55});
    return action;
}

const VDActionPtr& ClipUtils::shiftCmdLeft()
{
    static const VDActionPtr action = stroke(123, {56, 55});
    return action;
}

void ClipUtils::copy()
{
    log.verbose("copy sent...");
    cmdC()->post();
}

std::optional<std::string> ClipUtils::getString(const std::vector<PasteboardItem>& items)
{
    for (const auto& item : items) {
        if (auto data = item.data(PasteboardTypes::string)) {
            const QByteArray bytes(reinterpret_cast<const char*>(data->data()), static_cast<qsizetype>(data->size()));
            return QString::fromUtf8(bytes).toStdString();
        }
    }
    return std::nullopt;
}

void ClipUtils::deleteData(const std::filesystem::path& path)
{
    log.verbose("deleteData ->", path.string());
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

bool ClipUtils::isPayloadName(const std::string& name)
{
    static const std::regex pattern(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\.data");
    return std::regex_match(name, pattern);
}

bool ClipUtils::isPayloadTemporaryName(const std::string& name)
{
    static const std::regex pattern(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\.data\\.[0-9A-Za-z]{6}");
    return std::regex_match(name, pattern);
}

bool ClipUtils::isOwnPayload(const std::filesystem::path& folder, const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    if (path.empty() || !isPayloadName(path.filename().string())) return false;
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (ec || !fs::is_regular_file(status)) return false;
    return isInFolder(folder, path);
}

bool ClipUtils::isInFolder(const std::filesystem::path& folder, const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    const auto name = path.filename();
    if (name.empty() || name == "." || name == "..") return false;
    std::error_code ec;
    const auto realFolder = fs::canonical(folder, ec);
    if (ec) return false;
    const auto realParent = fs::canonical(path.parent_path().empty() ? fs::path(".") : path.parent_path(), ec);
    return !ec && realParent == realFolder;
}

bool ClipUtils::prepareSaveToPath(const std::filesystem::path& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        if (fs::exists(path, ec)) return false;
        fs::create_directories(path, ec);
        if (ec || !fs::is_directory(path, ec)) return false;
    }
    const auto status = fs::status(path, ec);
    if (ec) return false;
    const auto others = fs::perms::group_all | fs::perms::others_all;
    if ((status.permissions() & others) != fs::perms::none ||
        (status.permissions() & fs::perms::owner_all) != fs::perms::owner_all) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace, ec);
        if (ec) log.warning("Cannot make the clip folder private ->", path.string());
    }
    return true;
}

std::string ClipUtils::prefixOfCharacters(const std::string& text, std::int64_t count)
{
    if (count <= 0) return {};
    const QString whole = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    qsizetype end = 0;
    std::int64_t taken = 0;
    while (end < whole.size() && taken < count) {
        end += (whole[end].isHighSurrogate() && end + 1 < whole.size() && whole[end + 1].isLowSurrogate()) ? 2 : 1;
        ++taken;
    }
    return whole.left(end).toStdString();
}

}  // namespace vandrel
