// What a path the program did not choose may name: a link to a device that never ends, a named pipe with no
// writer (opening it to read waits for one) and a 100 MB file (sparse: nothing is written).
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vandrel::test {

// Makes the three in folder, named <kind><suffix>.
inline std::vector<std::filesystem::path> hostileFiles(const std::filesystem::path& folder, const std::string& suffix)
{
    const auto zero = folder / ("zero" + suffix), pipe = folder / ("pipe" + suffix), huge = folder / ("huge" + suffix);
    std::filesystem::create_symlink("/dev/zero", zero);
    ::mkfifo(pipe.c_str(), 0600);
    std::ofstream{huge};
    std::filesystem::resize_file(huge, 100ull << 20);
    return {zero, pipe, huge};
}

}  // namespace vandrel::test
