#include <gtest/gtest.h>

#include <QLabel>
#include <QString>

#include "common/appinfo.h"
#include "common/frmabout.h"
#include "common/qtcommon.h"

namespace brevadin {
namespace {

TEST(CenterWindow, RoundsHalvesToEvenAndDoesNotClamp) {
    QRect area(0, 0, 1000, 700);
    EXPECT_EQ(centeredPosition(area, 1000, 700), QPoint(0, 0));
    EXPECT_EQ(centeredPosition(area, 1001, 700).x(), 0);   // -0.5 -> 0
    EXPECT_EQ(centeredPosition(area, 1002, 700).x(), -1);
    EXPECT_EQ(centeredPosition(area, 997, 701), QPoint(2, 0));  // 1.5 -> 2, -0.5 -> 0
    EXPECT_EQ(centeredPosition(QRect(0, 30, 1000, 700), 500, 300), QPoint(250, 230));
}

TEST(FatalError, TextAndTitle) {
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
    EXPECT_EQ(shown[0].title, QStringLiteral("致命的なエラー"));
    EXPECT_EQ(shown[0].style, kMsgCritical);
    EXPECT_EQ(shown[1].prompt, QStringLiteral("fncFolderExists:[0]"));
}

TEST(AboutBox, TitleAndVersionUseMajorAndRevision) {
    EXPECT_EQ(versionText(2, 7), QStringLiteral("バージョン 2.7"));
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), QString(kAppTitle) + QStringLiteral("のバージョン情報"));
    EXPECT_EQ(about.lblVersion->text(), versionText(kVersionMajor, kVersionRevision));
    EXPECT_EQ(about.lblTitle->text(), QString(kAppTitle));
    EXPECT_FALSE(about.lblDisclaimer->text().isEmpty());
}

}  // namespace
}  // namespace brevadin
