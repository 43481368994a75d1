#pragma once

#include <string>

#include "logdata/loadcontext.h"

namespace brevadin {

// The filter expression on "cs-uri-stem" that keeps the requests of the
// chosen content types, in the record table's filter language. Requests for
// the site's root always stay. The empty text (IncludeAll) means no filter.
std::string fncGetFilterString(const ContentTypes& types);

}  // namespace brevadin
