#include "platform/linux/desktop/desktop_entry.h"

#include <QString>
#include <cstdlib>
#include <map>
#include <sstream>
#include <utility>

#include "core/checked_file.h"
#include "core/log.h"

namespace vandrel {

namespace {

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// The escapes of string values: \s \n \t \r \\.
std::string unescape(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:  // not an escape of strings (Exec's quoting uses some): keep it for the next stage
                out += '\\';
                out += value[i];
        }
    }
    return out;
}

bool isTrue(const std::string& value)
{
    return value == "true";
}

// Files may hold anything; keep the texts valid UTF-8.
std::string validUtf8(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size())).toStdString();
}

struct Word {
    std::string text;
    bool quoted = false;
};

// Splits Exec into words by its quoting rules; absent on an unterminated quote.
std::optional<std::vector<Word>> splitExec(const std::string& exec)
{
    std::vector<Word> words;
    Word current;
    bool inWord = false;
    bool inQuotes = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (inQuotes) {
            if (c == '"') {
                inQuotes = false;
            } else if (c == '\\' && i + 1 < exec.size() &&
                       std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
                current.text += exec[++i];
            } else {
                current.text += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(std::exchange(current, Word{}));
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '"') {
            inQuotes = true;
            current.quoted = true;
        } else {
            current.text += c;
        }
    }
    if (inQuotes) return std::nullopt;
    if (inWord) words.push_back(std::move(current));
    return words;
}

std::string baseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<DesktopEntry> DesktopEntry::parse(const std::string& text, std::string id, std::string path,
                                                const std::vector<std::string>& locales)
{
    std::map<std::string, std::string> values;  // the first of each key wins
    bool inGroup = false;
    bool sawGroup = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (inGroup) break;  // only the first group is ours
            inGroup = line == "[Desktop Entry]";
            sawGroup |= inGroup;
            continue;
        }
        if (!inGroup) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        values.emplace(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
    if (!sawGroup) return std::nullopt;

    auto value = [&](const std::string& key) {
        auto it = values.find(key);
        return it == values.end() ? std::string() : validUtf8(unescape(it->second));
    };
    auto localized = [&](const std::string& key) {
        for (const auto& locale : locales)
            if (values.count(key + "[" + locale + "]")) return value(key + "[" + locale + "]");
        return value(key);
    };

    DesktopEntry e;
    e.id = std::move(id);
    e.path = std::move(path);
    e.type = value("Type");
    e.name = localized("Name");
    e.untranslatedName = value("Name");
    e.exec = value("Exec");
    e.tryExec = value("TryExec");
    e.startupWmClass = value("StartupWMClass");
    e.icon = value("Icon");
    e.workingDirectory = value("Path");
    e.terminal = isTrue(value("Terminal"));
    e.noDisplay = isTrue(value("NoDisplay"));
    e.hidden = isTrue(value("Hidden"));
    return e;
}

std::optional<DesktopEntry> DesktopEntry::load(const std::string& path, std::string id)
{
    // Found by listing a folder anyone may put a link into: it may be a pipe, a device or a huge file.
    const CheckedRead read = CheckedFile::read(path, kMaxFileBytes);
    if (!read) {
        if (read.failure != CheckedRead::Failure::missing)
            log.warning("a desktop entry is not read", path + ": " + read.reason);
        return std::nullopt;
    }
    return parse(read.bytes.toStdString(), std::move(id), path);
}

std::vector<std::string> DesktopEntry::commandLine() const
{
    auto words = splitExec(exec);
    if (!words) return {};
    std::vector<std::string> out;
    for (const auto& word : *words) {
        // A field code counts only as an unquoted word of its own: expanded inside another word (a quoted
        // script above all) the name or path would become part of what that word says.
        if (!word.quoted && word.text.size() == 2 && word.text[0] == '%' && word.text[1] != '%') {
            switch (word.text[1]) {
                case 'i':
                    if (!icon.empty()) {
                        out.push_back("--icon");
                        out.push_back(icon);
                    }
                    break;
                case 'c':
                    if (!name.empty()) out.push_back(name);
                    break;
                case 'k':
                    if (!path.empty()) out.push_back(path);
                    break;
                default:  // %f %F %u %U (no files to pass), deprecated and unknown codes
                    break;
            }
            continue;
        }
        // Elsewhere "%%" is a percent sign and any other code goes, unexpanded.
        std::string text;
        for (std::size_t i = 0; i < word.text.size(); ++i) {
            if (word.text[i] != '%' || i + 1 == word.text.size()) {
                text += word.text[i];
                continue;
            }
            if (word.text[++i] == '%') text += '%';
        }
        if (!text.empty() || word.quoted) out.push_back(std::move(text));
    }
    return out;
}

std::string DesktopEntry::executableName() const
{
    const auto words = commandLine();
    std::size_t i = 0;
    if (i < words.size() && baseName(words[i]) == "env") {
        ++i;
        while (i < words.size() && (words[i].find('=') != std::string::npos || words[i].rfind('-', 0) == 0)) {
            const bool takesValue =
                words[i] == "-u" || words[i] == "-C" || words[i] == "--unset" || words[i] == "--chdir";
            i += takesValue ? 2 : 1;
        }
    }
    return i < words.size() ? baseName(words[i]) : std::string();
}

std::vector<std::string> DesktopEntry::localeCandidates()
{
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(variable);
        if (v && *v) {
            locale = v;
            break;
        }
    }
    if (locale.empty() || locale == "C" || locale == "POSIX") return {};
    std::string modifier;
    if (auto at = locale.find('@'); at != std::string::npos) {
        modifier = locale.substr(at);
        locale.erase(at);
    }
    if (auto dot = locale.find('.'); dot != std::string::npos) locale.erase(dot);
    std::string lang = locale;
    std::string country;
    if (auto underscore = locale.find('_'); underscore != std::string::npos) {
        lang = locale.substr(0, underscore);
        country = locale.substr(underscore);
    }
    std::vector<std::string> out;
    if (!country.empty() && !modifier.empty()) out.push_back(lang + country + modifier);
    if (!country.empty()) out.push_back(lang + country);
    if (!modifier.empty()) out.push_back(lang + modifier);
    out.push_back(lang);
    return out;
}

}  // namespace vandrel
