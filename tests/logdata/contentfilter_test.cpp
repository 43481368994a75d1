#include "logdata/contentfilter.h"

#include <gtest/gtest.h>

namespace brevadin {
namespace {

const std::string kRoot = "cs-uri-stem='/'";
const std::string kHtml = "( cs-uri-stem like '*.htm*' or cs-uri-stem like '*.shtml*' ) ";
const std::string kScript = "cs-uri-stem like '*.asp*'";
const std::string kArchive =
    "( cs-uri-stem like '*.lzh*' or cs-uri-stem like '*.zip*' or cs-uri-stem like '*.cab*' or "
    "cs-uri-stem like '*.tar*' ) ";
const std::string kMovie =
    "( cs-uri-stem like '*.mpg*' or cs-uri-stem like '*.mpeg*' or cs-uri-stem like '*.mov*' or "
    "cs-uri-stem like '*.rm*' or cs-uri-stem like '*.swf*' or cs-uri-stem like '*.avi*' or "
    "cs-uri-stem like '*.wmv*' ) ";
const std::string kSound =
    "( cs-uri-stem like '*.mp3*' or cs-uri-stem like '*.mid*' or cs-uri-stem like '*.wav*' ) ";

TEST(ContentFilter, IncludeAllMeansNoFilterWhateverTheOthersSay) {
    EXPECT_EQ(fncGetFilterString({true, true, true, true, true, true}), "");
    EXPECT_EQ(fncGetFilterString({true, false, false, false, false, false}), "");
}

TEST(ContentFilter, RootAloneWhenNothingIsChosen) {
    EXPECT_EQ(fncGetFilterString({false, false, false, false, false, false}), kRoot);
}

TEST(ContentFilter, TermsFollowTheRootInTheirOrder) {
    EXPECT_EQ(fncGetFilterString({false, true, false, false, false, false}),
              kRoot + " or " + kHtml);
    // After a parenthesised term the joint reads ")  or".
    EXPECT_EQ(fncGetFilterString({false, true, true, false, false, false}),
              kRoot + " or " + kHtml + " or " + kScript);
    EXPECT_EQ(fncGetFilterString({false, false, false, true, false, false}),
              kRoot + " or " + kArchive);
    EXPECT_EQ(fncGetFilterString({false, false, false, false, true, false}),
              kRoot + " or " + kMovie);
    EXPECT_EQ(fncGetFilterString({false, false, false, false, false, true}),
              kRoot + " or " + kSound);
    EXPECT_EQ(fncGetFilterString({false, true, true, true, true, true}),
              kRoot + " or " + kHtml + " or " + kScript + " or " + kArchive + " or " + kMovie +
                  " or " + kSound);
}

}  // namespace
}  // namespace brevadin
