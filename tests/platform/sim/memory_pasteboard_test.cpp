#include "platform/memory_pasteboard.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_pasteboard_server.h"

namespace vandrel {
namespace {

TEST(MemoryPasteboardTest, ChangeCountMovesOnClearAndDeclareOnly)
{
    MemoryPasteboard board("general");
    EXPECT_EQ(board.declareTypes({PasteboardTypes::string, PasteboardTypes::html}), 1);
    EXPECT_EQ(board.types(), (std::vector<PasteboardType>{PasteboardTypes::string, PasteboardTypes::html}));
    EXPECT_TRUE(board.setString("hello", PasteboardTypes::string));
    EXPECT_EQ(board.changeCount(), 1);
    EXPECT_EQ(board.string(PasteboardTypes::string), "hello");

    PasteboardItem image;
    image.setData(PasteboardTypes::tiff, {1, 2, 3});
    EXPECT_EQ(board.clearContents(), 2);
    EXPECT_TRUE(board.writeObjects({image, image}));
    auto items = board.pasteboardItems();
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 2u);
    EXPECT_EQ((*items)[1].data(PasteboardTypes::tiff), (PasteboardData{1, 2, 3}));
    EXPECT_EQ(board.string(PasteboardTypes::string), std::nullopt);
    EXPECT_EQ(board.changeCount(), 2);
}

TEST(MemoryPasteboardTest, ItemsKeepTypeOrderAndReplaceData)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::html, "<b>x</b>");
    item.setString(PasteboardTypes::string, "x");
    item.setString(PasteboardTypes::html, "<i>x</i>");
    EXPECT_EQ(item.types(), (std::vector<PasteboardType>{PasteboardTypes::html, PasteboardTypes::string}));
    EXPECT_EQ(item.string(PasteboardTypes::html), "<i>x</i>");
}

TEST(MemoryPasteboardTest, NamedPasteboardsAreMadeOnceAndApartFromTheGeneralOne)
{
    SimPasteboardServer server;
    auto worker = server.named("worker");
    EXPECT_EQ(server.named("worker"), worker);
    worker->setString("private", PasteboardTypes::string);
    EXPECT_EQ(server.general()->string(PasteboardTypes::string), std::nullopt);
}

}  // namespace
}  // namespace vandrel
