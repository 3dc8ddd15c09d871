#include "core/log_line_format.h"

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/console_destination.h"
#include "core/file_destination.h"

namespace vandrel {
namespace {

std::size_t displayWidth(std::string_view label)
{
    constexpr std::string_view vs16 = "\xEF\xB8\x8F";
    if (label.starts_with(vs16)) label.remove_prefix(vs16.size());
    return label.size();
}

std::chrono::system_clock::time_point utc(int year, int month, int day, int hour, int minute, int second, int ms)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return std::chrono::system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(ms);
}

LogRecord record(LogLevel level, std::string_view message, std::string_view context,
                 std::source_location location = std::source_location::current())
{
    return LogRecord{level, message, context, location, "tqm.Vandrel.keyEvent", utc(2023, 3, 4, 5, 6, 7, 89)};
}

struct Widget {
    std::source_location where() const { return std::source_location::current(); }
    template <class T>
    static std::source_location inTemplate(T)
    {
        return std::source_location::current();
    }
};

class LogLineFormatTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

TEST_F(LogLineFormatTest, LabelsHaveTheirFixedWidths)
{
    for (const auto label : LogLineFormat::consoleLabels) EXPECT_EQ(displayWidth(label), 5u) << label;
    for (const auto label : LogLineFormat::fileLabels) EXPECT_EQ(displayWidth(label), 3u) << label;
}

TEST_F(LogLineFormatTest, DatesUseTheCalendarYear)
{
    // Both days belong to the neighbouring ISO week-year.
    EXPECT_EQ(LogLineFormat::dateText(utc(2024, 12, 30, 23, 59, 59, 999)), "24.12.30 23:59:59.999");
    EXPECT_EQ(LogLineFormat::dateText(utc(2021, 1, 1, 0, 0, 0, 0)), "21.01.01 00:00:00.000");
}

TEST_F(LogLineFormatTest, FunctionNamesAreBare)
{
    EXPECT_EQ(LogLineFormat::functionName(Widget().where()), "where");
    EXPECT_EQ(LogLineFormat::functionName(Widget::inTemplate(1)), "inTemplate");
    const auto inLambda = [] { return std::source_location::current(); }();
    EXPECT_EQ(LogLineFormat::functionName(inLambda), "TestBody");
    EXPECT_EQ(LogLineFormat::fileName(Widget().where()), "log_line_format_test");
}

TEST_F(LogLineFormatTest, LinesFollowTheFormatWithAndWithoutColours)
{
    const auto location = std::source_location::current();
    const auto r = record(LogLevel::warning, "scheme activated ->", "Work", location);
    const std::string line = std::to_string(location.line());
    EXPECT_EQ(LogLineFormat::render(r, LogLineFormat::fileLabels),
              "23.03.04 05:06:07.089 |\xEF\xB8\x8FWRN| tqm.Vandrel.keyEvent | log_line_format_test.TestBody:" + line +
                  "\t| scheme activated -> Work");
    EXPECT_EQ(LogLineFormat::render(r, LogLineFormat::consoleLabels, "<", ">"),
              "23.03.04 05:06:07.089 <|\xEF\xB8\x8FWARN | >tqm.Vandrel.keyEvent <| log_line_format_test.TestBody:" +
                  line + "\t|> scheme activated -> <Work>");
}

TEST_F(LogLineFormatTest, ConsoleWritesFiveCharacterLabelsAndColoursOnlyWhenAsked)
{
    std::ostringstream plainOut;
    ConsoleDestination plain(std::make_shared<spdlog::sinks::ostream_sink_mt>(plainOut), false);
    plain.write(record(LogLevel::info, "ready", ""));
    EXPECT_NE(plainOut.str().find("|INFO | "), std::string::npos) << plainOut.str();
    EXPECT_EQ(plainOut.str().find('\x1b'), std::string::npos);
    EXPECT_EQ(plainOut.str().back(), '\n');

    std::ostringstream colourOut;
    ConsoleDestination coloured(std::make_shared<spdlog::sinks::ostream_sink_mt>(colourOut), true);
    coloured.write(record(LogLevel::error, "failed", ""));
    EXPECT_NE(colourOut.str().find("\x1b[31m|ERROR| \x1b[0m"), std::string::npos) << colourOut.str();
}

TEST_F(LogLineFormatTest, FileDestinationAppendsAndHoldsLinesWhileTheFileIsClosed)
{
    QTemporaryDir dir;
    const auto path = std::filesystem::path(dir.path().toStdString()) / "logs" / "debug.log";
    FileDestination destination(path);
    EXPECT_TRUE(destination.openError().empty());
    destination.write(record(LogLevel::debug, "first", ""));
    const auto reopenError = destination.withFileClosed([&] {
        std::filesystem::remove(path);
        std::ofstream(path) << "replaced\n";
    });
    EXPECT_TRUE(reopenError.empty());
    destination.write(record(LogLevel::info, "second", "ctx"));

    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(text.rfind("replaced\n", 0), 0u) << text;
    EXPECT_NE(text.find("|INF| tqm.Vandrel.keyEvent | "), std::string::npos);
    EXPECT_NE(text.find("| second ctx\n"), std::string::npos);
    EXPECT_EQ(text.find("first"), std::string::npos);
}

}  // namespace
}  // namespace vandrel
