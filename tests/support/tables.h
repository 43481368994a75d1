#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logdata/recordset.h"

namespace brevadin::testing {

using Strings = std::vector<std::string>;

// An open table of text fields holding the given rows; a row shorter than
// the field list leaves the rest empty.
inline RecordsetPtr makeTable(const Strings& fields, const std::vector<Strings>& rows) {
    auto t = std::make_shared<Recordset>();
    for (const auto& f : fields) t->appendField(f);
    t->open();
    for (const auto& r : rows) {
        t->addNew();
        for (size_t i = 0; i < r.size(); ++i) t->setField(fields[i], r[i]);
        t->update();
    }
    return t;
}

inline Strings fieldNames(const Recordset& table) {
    Strings names;
    for (const auto& f : table.fields()) names.push_back(f.name);
    return names;
}

inline std::string cell(const Recordset& table, size_t row, std::string_view field) {
    int column = table.fieldIndex(field);
    if (column < 0) return "<no field " + std::string(field) + ">";
    return std::string(table.value(row, static_cast<size_t>(column)));
}

// The values of one field in the rows the filter and sort let through, in view order.
inline Strings visibleColumn(const Recordset& table, std::string_view field) {
    Strings out;
    int column = table.fieldIndex(field);
    if (column < 0) return {"<no field " + std::string(field) + ">"};
    for (size_t i = 0; i < table.rowCount(); ++i)
        out.emplace_back(table.value(table.viewRow(i), static_cast<size_t>(column)));
    return out;
}

}  // namespace brevadin::testing
