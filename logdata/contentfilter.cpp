#include "logdata/contentfilter.h"

#include "common/stringbuilder.h"

namespace brevadin {

std::string fncGetFilterString(const ContentTypes& types) {
    StringBuilder filter;
    filter.setAutoSeparater(" or ");
    if (types.IncludeAll) return std::string();

    filter.Append("cs-uri-stem='/'");
    // The term texts are fixed byte for byte, spacing included: a
    // parenthesised term ends in a space, the script term does not.
    if (types.IncludeHTML) {
        filter.Append(
            "( cs-uri-stem like '*.htm*' or "
            "cs-uri-stem like '*.shtml*' ) ");
    }
    if (types.IncludeScript) filter.Append("cs-uri-stem like '*.asp*'");
    if (types.IncludeArchive) {
        filter.Append(
            "( cs-uri-stem like '*.lzh*' or "
            "cs-uri-stem like '*.zip*' or "
            "cs-uri-stem like '*.cab*' or "
            "cs-uri-stem like '*.tar*' ) ");
    }
    if (types.IncludeMovie) {
        filter.Append(
            "( cs-uri-stem like '*.mpg*' or "
            "cs-uri-stem like '*.mpeg*' or "
            "cs-uri-stem like '*.mov*' or "
            "cs-uri-stem like '*.rm*' or "
            "cs-uri-stem like '*.swf*' or "
            "cs-uri-stem like '*.avi*' or "
            "cs-uri-stem like '*.wmv*' ) ");
    }
    if (types.IncludeSound) {
        filter.Append(
            "( cs-uri-stem like '*.mp3*' or "
            "cs-uri-stem like '*.mid*' or "
            "cs-uri-stem like '*.wav*' ) ");
    }
    return filter.ToString();
}

}  // namespace brevadin
