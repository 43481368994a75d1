#pragma once

#include <string>
#include <string_view>

#include "export/xmlconv.h"

namespace brevadin {

// Writes the table's visible rows, in view order, as CSV for spreadsheets:
// UTF-8 with a BOM, CR LF line ends, a header line of field names, RFC 4180
// quoting, and values a spreadsheet would run as a formula kept as text.
// Atomic like fncSaveRecordsetToXml, and like it writes `rows` when given.
Outcome saveRecordsetToCsv(const Recordset& table, const std::string& FileName,
                           const WriteProgress& progress = {},
                           const std::vector<uint32_t>* rows = nullptr);

enum class ExportKind { Xml, Csv, Unknown };
// The export form a file name asks for: its last three characters, in any
// letter case, "xml" or "csv" ("logxml" counts as XML). Anything else, the
// empty name included, is Unknown.
ExportKind exportKindForFileName(std::string_view FileName);

}  // namespace brevadin
