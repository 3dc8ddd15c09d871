// What our children hold open, whichever way they are started: standard input, output and error, nothing
// of ours; and a failed start still shows as one.
#include "core/inherited_descriptors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cstddef>
#include <filesystem>
#include <functional>

#include "core/common_utils.h"
#include "core/detached_process.h"
#include "core/string_helpers.h"
#include "support/desktop_test_process.h"

namespace vandrel {
namespace {

// What `sh -c command` wrote, run through a QProcess with that modifier.
std::string runWithModifier(void (*modifier)() noexcept, const std::string& command)
{
    QProcess process;
    process.setProgram("/bin/sh");
    process.setArguments({"-c", QString::fromStdString(command)});
    process.setChildProcessModifier(modifier);
    process.start();
    EXPECT_TRUE(process.waitForFinished(20000));
    return process.readAllStandardOutput().toStdString();
}

// As in a sandbox whose system-call filter refuses close_range with EPERM.
void markWhereCloseRangeIsRefused() noexcept
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_close_range, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(3);
    InheritedDescriptors::markCloseOnExec();
}

TEST(InheritedDescriptors, AChildHoldsOnlyTheStandardDescriptors)
{
    // As descriptors we were started with are: open without close-on-exec, one of them far up.
    const int low = ::open("/dev/null", O_RDONLY);
    const int high = ::fcntl(low, F_DUPFD, 500);
    ASSERT_GE(high, 500);
    QTemporaryDir dir;
    const std::string out = dir.filePath("listing").toStdString();
    // ls lists its own descriptors; the one it reads them through is 3.
    const std::string list = "ls /proc/self/fd | tr '\\n' ' '";
    const struct {
        const char* start;
        std::function<std::string()> listing;
    } rows[] = {
        {"QProcess modifier", [&] { return runWithModifier(InheritedDescriptors::markCloseOnExec, list); }},
        {"one by one", [&] { return runWithModifier(InheritedDescriptors::markCloseOnExecOneByOne, list); }},
        {"close_range refused", [&] { return runWithModifier(markWhereCloseRangeIsRefused, list); }},
        {"shell", [&] { return CommonUtils::shell(list); }},
        {"detached",
         [&] {
             EXPECT_TRUE(DetachedProcess::start({"/bin/sh", "-c", list + " >\"$0.tmp\" && mv \"$0.tmp\" \"$0\"", out}));
             EXPECT_TRUE(test::waitFor([&] { return std::filesystem::exists(out); }));
             return readWholeFile(out).value_or("");
         }},
    };
    for (const auto& row : rows) EXPECT_EQ(row.listing(), "0 1 2 3 ") << row.start;
    ::close(high);
    ::close(low);
}

TEST(InheritedDescriptors, AFailedStartIsStillReportedAsOne)
{
    QProcess process;
    process.setProgram("/nonexistent/program");
    process.setChildProcessModifier(InheritedDescriptors::markCloseOnExec);
    process.start();
    EXPECT_FALSE(process.waitForStarted(20000));
    EXPECT_EQ(process.error(), QProcess::FailedToStart);

    EXPECT_EQ(DetachedProcess::start({"/nonexistent/program"}), std::nullopt);
    EXPECT_EQ(DetachedProcess::start({"no-such-program-anywhere"}), std::nullopt);
    EXPECT_EQ(DetachedProcess::start({"/bin/true"}, "/nonexistent/folder"), std::nullopt);
}

}  // namespace
}  // namespace vandrel
