#include "core/dispatch_queues.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"

using namespace vandrel;

TEST(DispatchQueues, FourNamedQueuesCreatedOnceEachLabellingTheirLogLines)
{
    const std::pair<std::shared_ptr<SerialQueue>, std::string> queues[] = {
        {DispatchQueues::vandrelKeyEvent(), "tqm.Vandrel.keyEvent"},
        {DispatchQueues::windowBinding(), "tqm.Vandrel.windowBinding"},
        {DispatchQueues::realm(), "tqm.Vandrel.realm"},
        {DispatchQueues::clipService(), "tqm.Vandrel.clipService"},
    };
    for (const auto& [queue, label] : queues) {
        EXPECT_EQ(queue->label(), label);
        EXPECT_EQ(queue->sync([] { return std::string(currentThreadLabel()); }), label);
    }
    EXPECT_EQ(DispatchQueues::vandrelKeyEvent(), DispatchQueues::vandrelKeyEvent());
    EXPECT_NE(DispatchQueues::vandrelKeyEvent(), DispatchQueues::clipService());
}
