#pragma once

#include <string>
#include <vector>

#include "common/outcome.h"
#include "logdata/recordset.h"

namespace brevadin {

inline constexpr const char* kWhoisServerListFileName = "whoissv.xml";

// The WHOIS servers, in order. The first entry is the one the WHOIS window
// preselects; the rest fill its drop-down list.
using WhoisServerList = std::vector<std::string>;

// The registries' servers used when whoissv.xml cannot be loaded: JPNIC
// (preselected, and listed again), APNIC, KRNIC, ARIN, RIPE NCC, LACNIC, RADb.
const WhoisServerList& builtInWhoisServers();

// whoissv.xml beside the executable.
std::string defaultWhoisServerListPath();

// Start-up: the SVNAME of every row of the file, in row order. When the file
// cannot be loaded (missing, unreadable, or without an SVNAME field), an
// existing file is kept as path + ".bad", and the built-in list is returned
// and written to path. The outcome says why keeping or writing failed.
Result<WhoisServerList> fncLoadWhoisServerList(const std::string& path);

// Writes list to path as a table with the one field SVNAME, a row per entry.
// Gives that table, still open, in any case, and whether the file was written.
Result<RecordsetPtr> fncCreateWhoisServerList(const WhoisServerList& list, const std::string& path);

}  // namespace brevadin
