// Runs a fuzz target once on each given file, and on every file in each given folder and its subfolders (as
// libFuzzer reads a corpus), without libFuzzer: the seeds stay a test in every build. An empty or missing folder fails,
// so seeds that went astray are noticed; a crash fails by itself, and the input it crashed on is the last one named.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    std::fprintf(stderr, "replay: %s\n", file.c_str());
    // A buffer of exactly the input's size, as libFuzzer gives, so a sanitized build catches a read past its end.
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}

// The files of a folder and its subfolders, or the file itself; empty when there is none.
std::vector<fs::path> inputsOf(const fs::path& path)
{
    std::error_code error;
    if (!fs::is_directory(path, error))
        return fs::is_regular_file(path, error) ? std::vector{path} : std::vector<fs::path>{};
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(path, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        if (it->is_regular_file(error)) files.push_back(it->path());
    if (error) std::fprintf(stderr, "replay: cannot list all of %s: %s\n", path.c_str(), error.message().c_str());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder or file>...\n", argv[0]);
        return 2;
    }
    int ran = 0;
    bool failed = false;
    for (int i = 1; i < argc; ++i) {
        const auto inputs = inputsOf(argv[i]);
        if (inputs.empty()) {
            std::fprintf(stderr, "replay: %s is missing or holds no file\n", argv[i]);
            failed = true;
        }
        for (const auto& file : inputs) {
            if (replay(file))
                ++ran;
            else
                failed = true;
        }
    }
    std::printf("replay: %d input%s ran\n", ran, ran == 1 ? "" : "s");
    return failed ? 1 : 0;
}
