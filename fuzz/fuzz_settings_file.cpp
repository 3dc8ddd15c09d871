// The settings file as the program finds it at start: any bytes in place of settings.json. The store must
// open (moving what it cannot use aside), read every kind of key, restore the custom schemes listed in it
// and write itself back.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/defaults_keys.h"
#include "core/settings_store.h"
#include "model/key_scheme_store.h"

namespace fs = std::filesystem;
using namespace vandrel;

namespace {

// Syncing to the disk is what the test suite checks; here it would only slow every run a hundredfold.
class NoSync final : public FileWriteCalls {
public:
    int fsync(int) override { return 0; }
};

const fs::path& folder()
{
    static const fs::path made = [] {
        std::string pattern = (fs::temp_directory_path() / "vandrel-fuzz-settings.XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder(), ec)) fs::remove_all(entry.path(), ec);
    std::ofstream(folder() / SettingsStore::standardFileName, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    SettingsStore store(folder(), SettingsStore::standardFileName, WholeFileWriter(std::make_shared<NoSync>()));
    (void)store.get(DefaultsKeys::app_launchedTimes);
    (void)store.get(DefaultsKeys::feedback_username);
    (void)store.get(DefaultsKeys::hotkey_customKeySchemeNames);
    (void)store.get(DefaultsKeys::hotkey_allCustomKeySchemes);
    (void)store.get(DefaultsKeys::cheatSheet_isWindowPined);
    for (const auto& stored : KeySchemeStore::readAll(store)) (void)stored.scheme->toJsonText();
    store.set(DefaultsKeys::app_launchedTimes, std::int64_t{1});
    if (!store.synchronize()) std::abort();  // a writable folder must always take the file
    return 0;
}
