// Stored window bindings: round trips, replacement by binding id, order, deletion and the value mirror.
#include "windowbinding/vd_window_binding_data.h"

#include <gtest/gtest.h>

#include <random>

#include "core/dispatch_queues.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

class WindowBindingDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("vandrel-bindings-" + std::to_string(std::random_device()()));
        VDWindowBindingData::registerSchema();
        Realm::setCustomConfig(folder_);
        Realm::forgetOpenedFiles();
        auto opened = Realm::open();
        ASSERT_TRUE(opened) << opened.error().what();
        realm_ = *opened;
    }
    void TearDown() override
    {
        DispatchQueues::realm()->sync([] {});
        realm_.reset();
        Realm::forgetOpenedFiles();
        fs::remove_all(folder_);
    }

    fs::path folder_;
    std::shared_ptr<Realm> realm_;
};

TEST_F(WindowBindingDataTest, StoringABindingIdAgainReplacesEveryField)
{
    const VDWindowBindingDataSwiftType editor{"notes.txt - Editor",
                                              static_cast<std::int32_t>(0xFFFFFFF0u),
                                              "org.example.editor",
                                              "Editor",
                                              4242,
                                              "/usr/share/applications/e.desktop"};
    const auto record = VDWindowBindingData::createFromSwiftTypes(3, editor);
    EXPECT_EQ(record.toSwiftRuntimeType(), editor);

    // As the binding service stores it: through the queued transaction, in update mode.
    Realm::transaction([record](Realm& realm) { VDWindowBindingData::add(realm, record); });
    DispatchQueues::realm()->sync([] {});
    const auto stored = VDWindowBindingData::object(*realm_, 3);
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, record);
    EXPECT_EQ(static_cast<std::uint32_t>(stored->winId), 0xFFFFFFF0u) << "the window number keeps its bits";

    const auto replacement = VDWindowBindingData::createFromSwiftTypes(3, {"", 7, "org.example.term", "Term", -1, ""});
    realm_->write([&] { VDWindowBindingData::add(*realm_, replacement); });
    EXPECT_EQ(VDWindowBindingData::objects(*realm_), std::vector<VDWindowBindingData>{replacement});
    EXPECT_THROW(realm_->write([&] { VDWindowBindingData::add(*realm_, record, RealmUpdatePolicy::error); }),
                 std::exception);
}

TEST_F(WindowBindingDataTest, BindingsComeBackAtTheNextLaunchByIdAndCanBeDeleted)
{
    realm_->write([&] {
        for (std::int64_t id : {7, 1, 10}) {
            VDWindowBindingData data;
            data.bindingId = id;
            VDWindowBindingData::add(*realm_, data);
        }
        EXPECT_TRUE(VDWindowBindingData::remove(*realm_, 7));
        EXPECT_FALSE(VDWindowBindingData::remove(*realm_, 7));
    });
    realm_.reset();
    Realm::forgetOpenedFiles();
    auto reopened = *Realm::open();
    std::vector<std::int64_t> ids;
    for (const auto& d : VDWindowBindingData::objects(*reopened)) ids.push_back(d.bindingId);
    EXPECT_EQ(ids, (std::vector<std::int64_t>{1, 10}));
    EXPECT_EQ(VDWindowBindingData::object(*reopened, 1)->appPid, -1) << "defaults of a fresh record";
    EXPECT_THROW(VDWindowBindingData::remove(*reopened, 1), RealmError) << "changes need a write transaction";
}

}  // namespace
}  // namespace vandrel
