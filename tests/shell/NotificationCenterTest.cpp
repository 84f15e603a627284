#include "shell/NotificationCenter.h"

#include <gtest/gtest.h>

TEST(NotificationCenter, DeliversToObserversOfThatNameInOrderUntilRemoved) {
    NotificationCenter center;
    std::vector<std::string> calls;
    auto a = center.AddObserver("A", [&](const std::string&, const std::any& o) {
        calls.push_back("first " + std::to_string(std::any_cast<double>(o)));
    });
    {
        ScopedObserver b("A", [&](const std::string&, const std::any&) { calls.push_back("second"); },
                         center);
        center.AddObserver("B", [&](const std::string&, const std::any&) { calls.push_back("B"); });
        center.Post("A", 0.5);
    }
    center.RemoveObserver(a);
    center.Post("A", 1.0);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "first 0.500000");
    EXPECT_EQ(calls[1], "second");
}

TEST(NotificationCenter, ObserverMayUnsubscribeItselfWhileCalled) {
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::Token token = 0;
    token = center.AddObserver("A", [&](const std::string&, const std::any&) {
        ++calls;
        center.RemoveObserver(token);
    });
    center.Post("A");
    center.Post("A");
    EXPECT_EQ(calls, 1);
}
