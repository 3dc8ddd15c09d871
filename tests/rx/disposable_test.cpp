#include "rx/disposable.h"

#include <gtest/gtest.h>

#include <memory>

using namespace vandrel::rx;

TEST(Disposable, RunsItsActionOnceAcrossCopies)
{
    int runs = 0;
    auto d = Disposable::create([&] { ++runs; });
    auto copy = d;
    EXPECT_FALSE(copy.isDisposed());
    copy.dispose();
    d.dispose();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(d.isDisposed());
    Disposable empty;
    empty.dispose();  // nothing to do, no crash
    EXPECT_TRUE(empty.isDisposed());
}

TEST(DisposeBag, DroppingOrReplacingTheBagDisposesWhatItHolds)
{
    int disposed = 0;
    {
        DisposeBag bag;
        Disposable::create([&] { ++disposed; }).disposed(bag);
        Disposable::create([&] { ++disposed; }).disposed(bag);
    }
    EXPECT_EQ(disposed, 2);

    DisposeBag bag;
    Disposable::create([&] { ++disposed; }).disposed(bag);
    DisposeBag replacement;
    Disposable::create([&] { disposed += 10; }).disposed(replacement);
    bag = std::move(replacement);  // the old contents end, the moved-in one lives on
    EXPECT_EQ(disposed, 3);
    EXPECT_EQ(bag.size(), 1u);
    bag = DisposeBag();
    EXPECT_EQ(disposed, 13);

    // dispose() empties the bag and leaves it usable.
    Disposable::create([&] { ++disposed; }).disposed(bag);
    bag.dispose();
    EXPECT_EQ(disposed, 14);
    EXPECT_EQ(bag.size(), 0u);
}

TEST(DisposeBag, InsertFromADisposeActionWhileTheBagDiesIsDisposedToo)
{
    bool lateDisposed = false;
    {
        auto bag = std::make_unique<DisposeBag>();
        DisposeBag* raw = bag.get();
        Disposable::create([raw, &lateDisposed] {
            Disposable::create([&lateDisposed] { lateDisposed = true; }).disposed(*raw);
        }).disposed(*bag);
        bag.reset();
    }
    EXPECT_TRUE(lateDisposed);
}
