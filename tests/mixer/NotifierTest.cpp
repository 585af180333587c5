// Notifiers and subscribers: delivery order, one notifier per subscriber,
// and safe teardown from either side, also in the middle of a delivery.

#include "mixer/Notifier.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace zt {
namespace {

TEST(NotifierTest, DeliversToTheLastSubscribedFirstAndMovesASubscriberBetweenNotifiers) {
    std::vector<std::string> seen;
    TMMObserver a([&](const TMMNotification&) { seen.push_back("a"); });
    TMMObserver b([&](const TMMNotification&) { seen.push_back("b"); });
    TMMObserver c([&](const TMMNotification&) { seen.push_back("c"); });
    TMMObservable first, second;
    first.Subscribe(a);
    first.Subscribe(b);
    first.Subscribe(c);
    first.Notify(TMMLineIdChange());
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "b", "a"}));

    // Subscribing elsewhere leaves the first notifier.
    second.Subscribe(b);
    EXPECT_EQ(b.Observable(), &second);
    seen.clear();
    first.Notify(TMMLineIdChange());
    EXPECT_EQ(seen, (std::vector<std::string>{"c", "a"}));
    // Unsubscribing from a notifier it is not on changes nothing.
    first.Unsubscribe(b);
    EXPECT_EQ(b.Observable(), &second);
}

TEST(NotifierTest, EitherSideMayGoFirst) {
    int calls = 0;
    auto observer = std::make_unique<TMMObserver>([&](const TMMNotification&) { ++calls; });
    {
        TMMObservable notifier;
        notifier.Subscribe(*observer);
        EXPECT_EQ(notifier.SubscriberCount(), 1u);
    }
    EXPECT_EQ(observer->Observable(), nullptr);

    TMMObservable notifier;
    notifier.Subscribe(*observer);
    observer.reset();
    EXPECT_EQ(notifier.SubscriberCount(), 0u);
    notifier.Notify(TMMLineIdChange());
    EXPECT_EQ(calls, 0);
}

TEST(NotifierTest, ASubscriberDestroyedOrAddedDuringADeliveryIsNeitherCalledNorMissedLater) {
    std::vector<std::string> seen;
    TMMObservable notifier;
    auto victim =
        std::make_unique<TMMObserver>([&](const TMMNotification&) { seen.push_back("victim"); });
    TMMObserver late([&](const TMMNotification&) { seen.push_back("late"); });
    TMMObserver killer([&](const TMMNotification&) {
        seen.push_back("killer");
        victim.reset();
        notifier.Subscribe(late);
    });
    notifier.Subscribe(*victim);
    notifier.Subscribe(killer);
    notifier.Notify(TMMLineIdChange());
    EXPECT_EQ(seen, (std::vector<std::string>{"killer"}));
    seen.clear();
    notifier.Notify(TMMLineIdChange());
    EXPECT_EQ(seen, (std::vector<std::string>{"late", "killer"}));
}

TEST(NotifierTest, ANotifierDestroyedByItsSubscriberEndsTheDelivery) {
    int before = 0, after = 0;
    auto notifier = std::make_unique<TMMObservable>();
    TMMObserver first([&](const TMMNotification&) { ++after; });
    TMMObserver destroyer([&](const TMMNotification&) {
        ++before;
        notifier.reset();
    });
    notifier->Subscribe(first);
    notifier->Subscribe(destroyer);
    notifier->Notify(TMMLineIdChange());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(first.Observable(), nullptr);
}

}  // namespace
}  // namespace zt
