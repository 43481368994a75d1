// The log reader over arbitrary file contents, in all three layouts and the guess.
//
// The first byte picks the layout (its two low bits, 3 for the guess), the time
// shift and the content filter; the rest is the file. Besides the sanitizers' findings, a load must
// never throw, and every value it keeps must be UTF-8 whatever the file's encoding was.

#include <algorithm>
#include <string>
#include <vector>

#include "logdata/loadcontext.h"
#include "logdata/logreader.h"
#include "logdata/recordset.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/loadfakes.h"

namespace {

using namespace brevadin;

class QuietMessages : public MessageSink {
public:
    void showMessage(MessageIcon, const std::string& text, const std::string&) override {
        if (!fuzz::validUtf8(text)) fuzz::broken("message is not UTF-8", text);
    }
};

// Answers half of the addresses at once and leaves the rest to the wait, so
// that both ways of filling the c-ip column are exercised.
class HalfKnownHosts : public testing::FakeHosts {
public:
    bool findOrStart(std::string_view address, std::string& name) override {
        (address.size() % 2 ? later : known)[std::string(address)] = "host-" + std::string(address);
        return FakeHosts::findOrStart(address, name);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile scratch("log");
    if (size == 0) return 0;
    const uint8_t control = data[0];
    scratch.write(data + 1, size - 1);

    static const int32_t kTypes[] = {kLogTypeIis, kLogTypeNcsa, kLogTypeW3c, kLogTypeAuto};
    LoadContext ctx;
    ctx.settings.TimeDiff = (control & 0x08) ? -9 : 9;
    ctx.settings.types.IncludeAll = (control & 0x10) == 0;
    ctx.settings.types.IncludeHTML = (control & 0x20) == 0;
    ctx.settings.types.IncludeScript = (control & 0x40) == 0;
    QuietMessages messages;
    HalfKnownHosts hosts;
    ctx.messages = &messages;
    ctx.hosts = (control & 0x80) ? &hosts : nullptr;

    RecordsetPtr table;
    RecordsetPtr loaded = fncGetRecordsetFromLog(scratch.path(), table, kTypes[control & 3], ctx);
    if (!loaded) return 0;
    if (loaded->rowCount() > loaded->storedRowCount())
        fuzz::broken("more visible than stored rows");
    for (size_t c = 0; c < loaded->fieldCount(); ++c)
        if (!fuzz::validUtf8(loaded->fields()[c].name))
            fuzz::broken("field name is not UTF-8", loaded->fields()[c].name);
    for (size_t i = 0; i < loaded->rowCount(); ++i) {
        const size_t row = loaded->viewRow(i);
        for (size_t c = 0; c < loaded->fieldCount(); ++c)
            if (!fuzz::validUtf8(loaded->value(row, c)))
                fuzz::broken("value is not UTF-8", loaded->value(row, c));
    }
    return 0;
}
