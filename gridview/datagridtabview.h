#pragma once

// The state each tab of a DataGridTab keeps, shared by the files that
// implement the tab; not for use outside them.

#include <memory>
#include <string>
#include <vector>

#include "gridview/datagridtab.h"
#include "logdata/recordset.h"
#include "logdata/rowquery.h"

namespace brevadin {

struct DataGridTab::TabView {
    RecordsetPtr table;
    // Every row the table lets through (its content-type filter), newest
    // first: what the tab filters from.
    std::vector<uint32_t> all;
    // The rows shown, kept here while another tab holds the grid.
    std::vector<uint32_t> shown;
    // The header clicks, the latest first. Successive stable sorts compose,
    // so sorting by these at once gives what the clicks gave one by one.
    std::vector<SortKey> keys;
    // How many of the latest keys `all` has not been sorted by yet (clicks
    // made while filtered). It is in the order of the others, so a filter
    // picks rows and sorts them by these few keys at most.
    size_t pendingKeys = 0;
    std::string filterText;
    std::shared_ptr<RowQuery> query;
};

}  // namespace brevadin
