// CSV for spreadsheets: UTF-8 with a byte-order mark (so that spreadsheets
// on Japanese systems do not take the text for Shift_JIS), CR LF line ends, a
// header line of field names, and RFC 4180 quoting: a value holding a comma,
// a double quote, CR or LF is put in double quotes, with its quotes doubled.
//
// Log values are chosen by strangers, and a spreadsheet runs a cell that
// begins with "=", "+", "@", "-", TAB or CR as a formula. Such a value is
// written as a quoted field with a single quote in front ("'=1+2"), which
// spreadsheets show as text. A lone "-" (the logs' empty value) and negative
// numbers such as "-5" or "-1.5" are left as they are.

#include "export/csvexport.h"

#include "common/atomicfile.h"

namespace brevadin {
namespace {

bool isNumber(std::string_view v) {
    size_t i = 0;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) ++i;
    bool digits = false, dot = false;
    for (; i < v.size(); ++i) {
        char c = v[i];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else if ((c == 'e' || c == 'E') && digits) {
            // An exponent: optional sign, then digits only.
            ++i;
            if (i < v.size() && (v[i] == '-' || v[i] == '+')) ++i;
            if (i == v.size()) return false;
            for (; i < v.size(); ++i)
                if (v[i] < '0' || v[i] > '9') return false;
            return true;
        } else {
            return false;
        }
    }
    return digits;
}

bool runsAsFormula(std::string_view v) {
    if (v.empty()) return false;
    switch (v[0]) {
        case '=':
        case '+':
        case '@':
        case '\t':
        case '\r':
            return true;
        case '-':
            return v != "-" && !isNumber(v);
        default:
            return false;
    }
}

void appendField(std::string& out, std::string_view v) {
    bool guard = runsAsFormula(v);
    bool quote = guard || v.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!quote) {
        out += v;
        return;
    }
    out += '"';
    if (guard) out += '\'';
    for (char c : v) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

ExportKind exportKindForFileName(std::string_view FileName) {
    if (FileName.size() < 3) return ExportKind::Unknown;
    std::string last(FileName.substr(FileName.size() - 3));
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (last == "xml") return ExportKind::Xml;
    if (last == "csv") return ExportKind::Csv;
    return ExportKind::Unknown;
}

Outcome saveRecordsetToCsv(const Recordset& table, const std::string& FileName,
                           const WriteProgress& progress, const std::vector<uint32_t>* only) {
    if (!table.isOpen()) return Outcome::failed(FileName + ": テーブルが開かれていません");
    return writeFileAtomically(FileName, [&](const ByteSink& sink) {
        std::string out = "\xEF\xBB\xBF";
        const auto& fields = table.fields();
        for (size_t c = 0; c < fields.size(); ++c) {
            if (c) out += ',';
            appendField(out, fields[c].name);
        }
        out += "\r\n";
        const auto& rows = only ? *only : table.view();
        const size_t total = rows.size();
        for (size_t i = 0; i < total; ++i) {
            for (size_t c = 0; c < fields.size(); ++c) {
                if (c) out += ',';
                appendField(out, table.value(rows[i], c));
            }
            out += "\r\n";
            if (out.size() >= (1 << 16)) {
                if (!sink(out)) return false;
                out.clear();
            }
            if ((i & 4095) == 4095 && progress && progress(i + 1, total)) return false;
        }
        if (progress && progress(total, total)) return false;
        return sink(out);
    });
}

}  // namespace brevadin
