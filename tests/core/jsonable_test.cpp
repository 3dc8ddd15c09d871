#include "core/jsonable.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "core/log_capture.h"

namespace vandrel {
namespace {

struct Point : Jsonable<Point, nlohmann::ordered_json> {
    int y = 0;
    int x = 0;
};
void to_json(nlohmann::ordered_json& j, const Point& p)
{
    j = {{"y", p.y}, {"x", p.x}};
}
void from_json(const nlohmann::ordered_json& j, Point& p)
{
    p.y = j.at("y").get<int>();
    p.x = j.at("x").get<int>();
}

struct Faulty : Jsonable<Faulty> {
    std::string text;
    bool fail = false;
};
void to_json(nlohmann::json& j, const Faulty& f)
{
    if (f.fail) throw std::runtime_error("cannot encode");
    j = f.text;
}
void from_json(const nlohmann::json& j, Faulty& f)
{
    f.text = j.get<std::string>();
}

TEST(JsonableTest, ModelsEncodeInTheirMemberOrderAndDecodeAsValues)
{
    Point p;
    p.y = 2;
    p.x = 1;
    EXPECT_EQ(p.toJson().dump(), R"({"y":2,"x":1})");
    const auto back = Point::fromJsonText(R"({"y":5,"x":6})");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->y, 5);
    EXPECT_EQ(back->x, 6);
    EXPECT_FALSE(Point::fromJsonText(R"({"y":5})"));
    EXPECT_FALSE(Point::fromJsonText(R"({"y":"5","x":6})"));
    // Members nested beyond the limit make the text unreadable, even where the model would skip them.
    const auto nestedIn = [](int depth) {
        return R"({"y":5,"x":6,"extra":)" + std::string(static_cast<std::size_t>(depth), '[') +
               std::string(static_cast<std::size_t>(depth), ']') + "}";
    };
    EXPECT_TRUE(Point::fromJsonText(nestedIn(kMaxJsonNesting - 1)));
    EXPECT_FALSE(Point::fromJsonText(nestedIn(kMaxJsonNesting)));
    EXPECT_FALSE(Point::fromJsonText(nestedIn(100000)));
    EXPECT_FALSE(Point::fromJsonText("{"));
}

TEST(JsonableTest, EncodingFailuresGiveTheStringErrorAndOneErrorLine)
{
    test::ScopedLogCapture logs;
    Faulty throwing;
    throwing.fail = true;
    EXPECT_EQ(throwing.toJson(), nlohmann::json("Error"));
    EXPECT_EQ(logs->count(LogLevel::error), 1u);

    Faulty badText;
    badText.text = "bad \xff";
    EXPECT_EQ(badText.toJson(), nlohmann::json("Error"));
    EXPECT_EQ(logs->count(LogLevel::error), 2u);

    EXPECT_FALSE(Faulty::fromJsonText("12"));
}

}  // namespace
}  // namespace vandrel
