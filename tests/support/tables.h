#pragma once

#include <memory>
#include <string>
#include <vector>

#include "logdata/recordset.h"

namespace brevadin::testing {

// An open table of text fields holding the given rows; a row shorter than
// the field list leaves the rest empty.
inline RecordsetPtr makeTable(const std::vector<std::string>& fields,
                              const std::vector<std::vector<std::string>>& rows) {
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

}  // namespace brevadin::testing
