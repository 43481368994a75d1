#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "logdata/recordset.h"

namespace brevadin {

// Called now and then while a table is written, with the rows written so far
// and the rows to write in all. Returning true abandons the write: the target
// file is left as it was.
using WriteProgress = std::function<bool(size_t done, size_t total)>;

// Reads a table stored in the persisted XML rowset form. Returns an open table
// holding the file's fields and current rows, or null on any failure (missing
// or unreadable file, not a stored table); nothing is shown.
RecordsetPtr fncGetRecordsetFromXml(const std::string& FileName);

// Writes the table's fields and its visible rows, in view order, in the
// persisted XML rowset form; given `rows` (storage rows), those rows in that
// order instead, as a viewer tab shows them. The file is replaced atomically:
// on failure it is untouched and the outcome says why. The table is unchanged.
Outcome fncSaveRecordsetToXml(const Recordset& table, const std::string& FileName,
                              const WriteProgress& progress = {},
                              const std::vector<uint32_t>* rows = nullptr);

}  // namespace brevadin
