#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QRect>
#include <QUrl>

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

// Qt's own buttons speak Japanese; what the desktop cannot open (offscreen,
// nothing opens) is named in a message instead of failing silently.
TEST(Desktop, QtTextsAreJapaneseAndAFailedOpenSaysWhat) {
    ASSERT_TRUE(loadQtJapaneseTranslations());
    EXPECT_EQ(QDialogButtonBox(QDialogButtonBox::Cancel).buttons().at(0)->text(), "キャンセル");
    std::vector<QString> shown;
    auto old = setMessagePresenter([&](const MessageRequest& r) {
        shown.push_back(r.prompt);
        return kMsgResultOk;
    });
    const QString targets[] = {"http://127.0.0.1:9/検索?q=1", "/nowhere/ヘルプ/index.html"};
    for (size_t i = 0; i < 2; ++i) {
        const QString& t = targets[i];
        EXPECT_FALSE(openWithDesktop(t.startsWith('/') ? QUrl::fromLocalFile(t) : QUrl(t)));
        EXPECT_TRUE(shown.size() == i + 1 && shown[i].contains(t)) << t.toStdString();
    }
    setMessagePresenter(old);
}

// A window is moved, and shrunk where it is larger, to lie wholly in the
// work area: at scale factor 2 a 1000-pixel screen is 500 logical pixels high.
TEST(WindowPlace, FitsWhollyInTheWorkArea) {
    const struct {
        QRect outer, area, fitted;
    } cases[] = {{{10, 10, 100, 100}, {0, 0, 800, 600}, {10, 10, 100, 100}},
                 {{750, -16, 100, 100}, {0, 0, 800, 600}, {700, 0, 100, 100}},
                 {{-21, -16, 683, 1074 / 2 + 50}, {0, 0, 640, 500}, {0, 0, 640, 500}},
                 {{1200, 0, 400, 900}, {1280, 24, 1024, 744}, {1280, 24, 400, 744}}};
    for (const auto& c : cases) EXPECT_EQ(fittedToArea(c.outer, c.area), c.fitted) << c.outer.x();
}

}  // namespace
}  // namespace brevadin
