// Reading files the program did not choose: only a regular file within its bound is read; a pipe, a device,
// a link where none is wanted, a folder or a file too large fail at once with their reason, and nothing
// waits for a writer that never comes.
#include "core/checked_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/hostile_files.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using Failure = CheckedRead::Failure;
using Links = CheckedFile::Links;

TEST(CheckedFileTest, OnlyARegularFileWithinItsBoundIsRead)
{
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    const auto hostile = test::hostileFiles(root, "");
    std::ofstream(root / "exact") << std::string(1024, 'x');
    std::ofstream(root / "over") << std::string(1025, 'x');
    fs::create_symlink(root / "exact", root / "link");
    const struct {
        fs::path path;
        Links links;
        Failure failure;
        const char* reason;
    } rows[] = {
        {root / "exact", Links::refuse, Failure::none, ""},
        {root / "over", Links::refuse, Failure::tooLarge, "larger than 1 KB"},
        {hostile[0], Links::follow, Failure::notRegular, "a device, not a regular file"},
        {hostile[1], Links::follow, Failure::notRegular, "a named pipe, not a regular file"},
        {hostile[2], Links::follow, Failure::tooLarge, "larger than 1 KB"},
        {root / "link", Links::refuse, Failure::link, "a symbolic link, which is not followed"},
        {root / "link", Links::follow, Failure::none, ""},
        {root, Links::follow, Failure::notRegular, "a folder, not a regular file"},
        {root / "missing", Links::follow, Failure::missing, "No such file or directory"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.string());
        const CheckedRead read = CheckedFile::read(row.path, 1024, row.links);
        EXPECT_EQ(read.failure, row.failure);
        EXPECT_EQ(read.reason, row.reason);
        EXPECT_EQ(read.bytes.size(), row.failure == Failure::none ? 1024 : 0);
    }
}

}  // namespace
}  // namespace vandrel
