#include "core/whole_file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/failing_write_calls.h"
#include "core/file_helpers.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using Step = test::FailingWriteCalls::Step;
using test::modeOf;

class WholeFileWriterTest : public ::testing::Test {
protected:
    fs::path folder() const { return fs::path(dir_.path().toStdString()); }
    fs::path file() const { return folder() / "settings.json"; }
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder())) found.push_back(entry.path().filename().string());
        return found;
    }

    QTemporaryDir dir_;
};

TEST_F(WholeFileWriterTest, ReplacesTheContentWithTheRequestedModeWhateverTheUmask)
{
    std::ofstream(file()) << "old content that is longer than the new";
    ::chmod(file().c_str(), 0644);
    const mode_t before = ::umask(022);
    const std::string big(300000, 'x');  // more than one write call may take
    const auto first = WholeFileWriter().write(file(), big);
    const auto second = WholeFileWriter().write(folder() / "entry.desktop", "[Desktop Entry]\n", 0640);
    ::umask(before);

    EXPECT_FALSE(first.has_value()) << *first;
    EXPECT_FALSE(second.has_value()) << *second;
    EXPECT_EQ(test::readFile(file()), big);
    EXPECT_EQ(modeOf(file()), 0600u);
    EXPECT_EQ(modeOf(folder() / "entry.desktop"), 0640u);
    EXPECT_EQ(names().size(), 2u) << "no temporary file stays";
}

TEST_F(WholeFileWriterTest, AFailureAtAnyStepKeepsTheOldFileAndNamesTheStep)
{
    const struct {
        Step step;
        const char* words;
    } cases[] = {
        {Step::create, "cannot create a temporary file"},
        {Step::write, "cannot write"},
        {Step::partialWrite, "cannot write"},
        {Step::fsync, "cannot sync"},
        {Step::shortFile, "written size"},
        {Step::close, "cannot close"},
        {Step::rename, "cannot replace"},
    };
    const std::string old = R"({"hotkey_customKeySchemeNames":["Mine"]})";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        std::ofstream(file(), std::ios::binary | std::ios::trunc) << old;
        auto calls = std::make_shared<test::FailingWriteCalls>();
        calls->failAt(c.step);
        const auto error = WholeFileWriter(calls).write(file(), std::string(9000, 'n'));
        ASSERT_TRUE(error.has_value());
        EXPECT_NE(error->find(c.words), std::string::npos) << *error;
        EXPECT_NE(error->find(file().string()), std::string::npos) << *error;
        EXPECT_EQ(test::readFile(file()), old);
        EXPECT_EQ(names(), std::vector<std::string>{"settings.json"}) << "the temporary file is removed";
    }
}

TEST_F(WholeFileWriterTest, WritesANewFileAndFailsWithoutOneWhenTheFolderIsMissing)
{
    EXPECT_FALSE(WholeFileWriter().write(file(), "").has_value());
    EXPECT_TRUE(fs::exists(file()));
    EXPECT_EQ(fs::file_size(file()), 0u);
    const auto error = WholeFileWriter().write(folder() / "missing" / "settings.json", "{}");
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(fs::exists(folder() / "missing"));
}

}  // namespace
}  // namespace vandrel
