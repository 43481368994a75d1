// The stored-table reader over arbitrary documents.
//
// Whatever it accepts must survive the way back: written out again and read
// again, the table has the same fields, types and values, row by row.

#include <string>

#include "export/xmlconv.h"
#include "logdata/recordset.h"
#include "tests/fuzz/fuzz_support.h"

using namespace brevadin;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile scratch("xml");
    scratch.write(data, size);
    RecordsetPtr table = fncGetRecordsetFromXml(scratch.path());
    if (!table) return 0;
    if (!table->isOpen()) fuzz::broken("the reader returned a closed table");

    if (const Outcome written = fncSaveRecordsetToXml(*table, scratch.outPath()); !written)
        fuzz::broken("an accepted table could not be written back", written.description());
    RecordsetPtr again = fncGetRecordsetFromXml(scratch.outPath());
    if (!again) fuzz::broken("the written table does not read back");

    if (again->fieldCount() != table->fieldCount()) fuzz::broken("field count changed");
    for (size_t c = 0; c < table->fieldCount(); ++c) {
        const FieldInfo& a = table->fields()[c];
        const FieldInfo& b = again->fields()[c];
        if (a.name != b.name) fuzz::broken("field name changed", a.name);
        if (a.type != b.type) fuzz::broken("field type changed", a.name);
    }
    if (again->rowCount() != table->rowCount()) fuzz::broken("row count changed");
    for (size_t i = 0; i < table->rowCount(); ++i) {
        const size_t ra = table->viewRow(i), rb = again->viewRow(i);
        for (size_t c = 0; c < table->fieldCount(); ++c)
            if (table->value(ra, c) != again->value(rb, c))
                fuzz::broken("value changed", table->value(ra, c));
    }
    return 0;
}
