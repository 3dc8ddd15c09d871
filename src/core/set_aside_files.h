// Stored files the program found it could not use and moved aside (kept under another name, never deleted),
// so that the user can be told what was set aside and where the copy is.
//
// The stores report each move as they make it, on whatever thread they run; the program installs the one
// listener that tells the user, once it can show messages: the listener hears at once of every file set
// aside before it was installed, then of each later one, on the reporting thread. Every member may be used
// from any thread.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vandrel {

struct SetAsideFile {
    enum class Kind {
        settings,  // a settings file: the program goes on with the defaults
        database,  // the object database (clips, window bindings): the program goes on with a new one
    };
    Kind kind;
    // The file that could not be used, and where it is now.
    std::filesystem::path original;
    std::filesystem::path copy;
    // Why, for the log.
    std::string reason;
};

class SetAsideFiles {
public:
    using Listener = std::function<void(const SetAsideFile&)>;

    SetAsideFiles() = delete;

    static void report(const SetAsideFile& file);
    // Every file set aside in this process so far, in the order reported.
    static std::vector<SetAsideFile> reported();
    // Installs the listener and hands it every file reported so far; an empty one removes it.
    static void setListener(Listener listener);
};

}  // namespace vandrel
