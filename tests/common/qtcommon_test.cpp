#include <gtest/gtest.h>

#include "common/qtcommon.h"

namespace brevadin {
namespace {

TEST(FatalError, NamesTheRoutineAndTheErrorNumber) {
    std::vector<MessageRequest> shown;
    auto old = setMessagePresenter([&](const MessageRequest& r) {
        shown.push_back(r);
        return kMsgResultOk;
    });
    ShowFatalError("fncGetLogList", 76, "Path not found");
    ShowFatalError("fncFolderExists", 0, "");
    setMessagePresenter(old);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].prompt, QStringLiteral("fncGetLogList:[76]Path not found"));
    EXPECT_EQ(shown[0].style, kMsgCritical);
    EXPECT_EQ(shown[1].prompt, QStringLiteral("fncFolderExists:[0]"));
}

}  // namespace
}  // namespace brevadin
