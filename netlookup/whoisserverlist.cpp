#include "netlookup/whoisserverlist.h"

#include <filesystem>
#include <system_error>

#include "common/atomicfile.h"
#include "export/xmlconv.h"

namespace brevadin {

const WhoisServerList& builtInWhoisServers() {
    static const WhoisServerList servers = {
        "whois.nic.ad.jp",   // JPNIC, preselected in the window
        "whois.nic.ad.jp",   // JPNIC again, first in the drop-down list
        "whois.apnic.net",   // APNIC
        "whois.kisa.or.kr",  // KRNIC
        "whois.arin.net",    // ARIN
        "whois.ripe.net",    // RIPE NCC
        "whois.lacnic.net",  // LACNIC
        "whois.radb.net",    // RADb
    };
    return servers;
}

std::string defaultWhoisServerListPath() {
    return joinPath(executableDir(), kWhoisServerListFileName);
}

Result<WhoisServerList> fncLoadWhoisServerList(const std::string& path) {
    if (RecordsetPtr table = fncGetRecordsetFromXml(path)) {
        const int column = table->fieldIndex("SVNAME");
        if (column >= 0) {
            WhoisServerList list;
            // The rows in file order: the stored order is the list order.
            const size_t rows = table->storedRowCount();
            list.reserve(rows);
            for (size_t row = 0; row < rows; ++row) {
                list.emplace_back(table->value(row, static_cast<size_t>(column)));
            }
            return {std::move(list), {}};
        }
    }

    WhoisServerList list = builtInWhoisServers();
    std::error_code ec;
    const bool present = std::filesystem::symlink_status(finalTarget(path), ec).type() !=
                         std::filesystem::file_type::not_found;
    if (present && !keepAsBad(path)) {
        // Overwriting would lose the user's file; use the built-in list for this run.
        return {std::move(list),
                Outcome::failed(path + ": " + path + ".bad として退避できませんでした")};
    }
    Outcome written = fncCreateWhoisServerList(list, path).outcome;
    return {std::move(list), std::move(written)};
}

Result<RecordsetPtr> fncCreateWhoisServerList(const WhoisServerList& list,
                                              const std::string& path) {
    auto table = std::make_shared<Recordset>();
    table->appendField("SVNAME", FieldType::NarrowText, 255);
    table->open();
    for (const auto& server : list) {
        table->setValue(table->appendRow(), 0, server);
    }
    Outcome written = fncSaveRecordsetToXml(*table, path);
    return {std::move(table), std::move(written)};
}

}  // namespace brevadin
