// Desktop entries: reading them, their command lines, and finding the entry of an application.
#include "platform/linux/desktop/desktop_entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/desktop/desktop_entry_index.h"
#include "support/hostile_files.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

DesktopEntry entryWithExec(std::string exec)
{
    DesktopEntry e;
    e.exec = std::move(exec);
    e.name = "Editor";
    e.icon = "editor-icon";
    e.path = "/apps/editor.desktop";
    return e;
}

TEST(DesktopEntry, ReadsTheFirstGroupWithLocalizedNamesAndEscapes)
{
    const auto entry = DesktopEntry::parse(
        "# comment\n[Desktop Entry]\nType=Application\nName=Files\nName[de]=Dateien\nName[de_AT]=Dateien AT\n"
        "Name=Second Name Ignored\nExec = files\\s--new-window\nStartupWMClass=Org.Files\nNoDisplay=true\n"
        "Terminal=false\n[Desktop Action New]\nName=Not This\n",
        "org.files", "/x/org.files.desktop", {"de_DE", "de"});
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->id, "org.files");
    EXPECT_EQ(entry->type, "Application");
    EXPECT_EQ(entry->name, "Dateien");
    EXPECT_EQ(entry->untranslatedName, "Files");
    EXPECT_EQ(entry->exec, "files --new-window");
    EXPECT_EQ(entry->startupWmClass, "Org.Files");
    EXPECT_TRUE(entry->noDisplay);
    EXPECT_FALSE(entry->terminal);
}

TEST(DesktopEntry, WithoutItsGroupThereIsNoEntry)
{
    EXPECT_EQ(DesktopEntry::parse("Name=Loose\n", "x", "x"), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse("[Desktop Action X]\nName=A\n", "x", "x"), std::nullopt);
    EXPECT_EQ(DesktopEntry::parse("", "x", "x"), std::nullopt);
    EXPECT_EQ(DesktopEntry::load("/nonexistent/x.desktop", "x"), std::nullopt);
    // Bytes that are no UTF-8 become replacement characters rather than reaching stored JSON.
    EXPECT_EQ(DesktopEntry::parse("[Desktop Entry]\nName=a\xff\n", "x", "x", {})->name, "a\uFFFD");
}

TEST(DesktopEntry, CommandLineResolvesFieldCodesAndQuoting)
{
    EXPECT_EQ(entryWithExec("editor %U").commandLine(), (std::vector<std::string>{"editor"}));
    EXPECT_EQ(entryWithExec("editor %i --title %c %k 100%% %f%F").commandLine(),
              (std::vector<std::string>{"editor", "--icon", "editor-icon", "--title", "Editor", "/apps/editor.desktop",
                                        "100%"}));
    // Codes count only as whole unquoted words: inside another word, a quoted script above all, they go.
    EXPECT_EQ(entryWithExec(R"(sh -c "echo %c %k 100%%" --title=%c "%i")").commandLine(),
              (std::vector<std::string>{"sh", "-c", "echo   100%", "--title=", ""}));
    EXPECT_EQ(entryWithExec(R"("/opt/my app/run" "say \"hi\" \$HOME \\ \`x\`" "")").commandLine(),
              (std::vector<std::string>{"/opt/my app/run", R"(say "hi" $HOME \ `x`)", ""}));
    EXPECT_TRUE(entryWithExec("editor \"unterminated").commandLine().empty());
    EXPECT_TRUE(entryWithExec("").commandLine().empty());

    EXPECT_EQ(entryWithExec("/usr/bin/editor --x").executableName(), "editor");
    EXPECT_EQ(entryWithExec("env GDK_BACKEND=x11 -u LANG /opt/app/bin/tool %F").executableName(), "tool");
    EXPECT_EQ(entryWithExec("").executableName(), "");
}

TEST(DesktopEntry, LocaleCandidatesGoFromMostToLeastSpecific)
{
    const char* saved = std::getenv("LC_ALL");
    setenv("LC_ALL", "sr_RS.UTF-8@latin", 1);
    EXPECT_EQ(DesktopEntry::localeCandidates(), (std::vector<std::string>{"sr_RS@latin", "sr_RS", "sr@latin", "sr"}));
    setenv("LC_ALL", "C", 1);
    EXPECT_TRUE(DesktopEntry::localeCandidates().empty());
    if (saved)
        setenv("LC_ALL", saved, 1);
    else
        unsetenv("LC_ALL");
}

class DesktopEntryIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("vandrel-entries-" + std::to_string(getpid()));
        user_ = root_ / "user";
        system_ = root_ / "system";
        fs::create_directories(user_);
        fs::create_directories(system_ / "kde");
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const fs::path& file, const std::string& body)
    {
        std::ofstream(file) << "[Desktop Entry]\nType=Application\n" << body;
    }
    DesktopEntryIndex index() { return DesktopEntryIndex({user_.string(), system_.string()}); }

    fs::path root_;
    fs::path user_;
    fs::path system_;
};

TEST_F(DesktopEntryIndexTest, EarlierFoldersWinAndUninstalledEntriesDoNotCount)
{
    write(system_ / "editor.desktop", "Name=System Editor\nExec=editor\n");
    write(user_ / "editor.desktop", "Name=My Editor\nExec=editor --mine\n");
    write(system_ / "kde" / "konsole.desktop", "Name=Konsole\nExec=konsole\n");
    write(user_ / "gone.desktop", "Name=Gone\nExec=gone\nHidden=true\n");
    write(system_ / "gone.desktop", "Name=Gone\nExec=gone\n");  // hidden by the user's entry
    write(system_ / "missing.desktop", "Name=Missing\nExec=x\nTryExec=/nonexistent/program\n");
    std::ofstream(system_ / "link.desktop") << "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.com\n";
    // Anyone's links and files in a folder: each fails alone, at once, and nothing waits on a pipe.
    test::hostileFiles(user_, ".desktop");

    auto entries = index();
    EXPECT_EQ(entries.findById("editor")->name, "My Editor");
    EXPECT_EQ(entries.findById("kde-konsole")->name, "Konsole");  // subfolders join the id with '-'
    EXPECT_EQ(entries.findById("gone"), std::nullopt);
    EXPECT_EQ(entries.findById("missing"), std::nullopt);
    EXPECT_EQ(entries.findById("link"), std::nullopt);
    for (const char* hostile : {"zero", "pipe", "huge"}) EXPECT_EQ(entries.findById(hostile), std::nullopt) << hostile;
    EXPECT_EQ(entries.findByName("my editor")->id, "editor");
    EXPECT_EQ(entries.findByName("kde-konsole")->name, "Konsole");
    EXPECT_EQ(entries.findByPath((system_ / "kde" / "konsole.desktop").string())->id, "kde-konsole");
    EXPECT_EQ(entries.entries().size(), 2u);
}

TEST_F(DesktopEntryIndexTest, FindsARunningProgramsEntryByTheBestEvidence)
{
    write(system_ / "org.gnome.Terminal.desktop", "Name=Terminal\nExec=gnome-terminal\n");
    write(system_ / "term-menu.desktop", "Name=Term\nExec=xterm\nStartupWMClass=XTerm\n");
    write(system_ / "term-hidden.desktop", "Name=Term (hidden)\nExec=xterm\nStartupWMClass=XTerm\nNoDisplay=true\n");
    write(system_ / "python3.desktop", "Name=Python\nExec=python3\n");
    write(system_ / "tool.desktop", "Name=Tool\nExec=/opt/tool/bin/tool %U\n");
    auto entries = index();

    auto match = [&](ProgramTraits p) {
        auto e = entries.match(p);
        return e ? e->id : std::string("-");
    };
    EXPECT_EQ(match({"xterm", "XTerm", "xterm", "/usr/bin/xterm"}), "term-menu");  // StartupWMClass, shown entry
    EXPECT_EQ(match({"x", "xterm", "", ""}), "term-menu");                         // StartupWMClass, any case
    EXPECT_EQ(match({"gnome-terminal-server", "Terminal", "", ""}), "org.gnome.Terminal");  // id's last part
    EXPECT_EQ(match({"", "", "tool", "/opt/tool/bin/tool"}), "tool");                       // the program Exec runs
    // A script run by an interpreter is not the interpreter's application.
    EXPECT_EQ(match({"", "", "my-script", "/usr/bin/python3"}), "-");
    EXPECT_EQ(match({"", "", "python3", "/usr/bin/python3"}), "python3");
    EXPECT_EQ(match({"", "", "", ""}), "-");
}

TEST_F(DesktopEntryIndexTest, ReadsTheFoldersAgainWhenTheyChange)
{
    auto entries = index();
    EXPECT_EQ(entries.findById("late"), std::nullopt);
    write(user_ / "late.desktop", "Name=Late\nExec=late\n");
    EXPECT_EQ(entries.findById("late")->name, "Late");
    fs::remove(user_ / "late.desktop");
    EXPECT_EQ(entries.findById("late"), std::nullopt);
}

}  // namespace
}  // namespace vandrel
