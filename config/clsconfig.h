#pragma once

#include <cstdint>
#include <string>

#include "common/outcome.h"
#include "config/columnwidths.h"
#include "logdata/loadcontext.h"

namespace brevadin {

// The user's settings for one run, kept in an INI file: the log folder, the
// log format, the GMT difference, the six content-type switches (section
// named after the executable) and the grid's column widths (section
// "ColWidth"). Setting a member never touches the file; only Save does.
// The switches are the reader's own ContentTypes, so a load takes them as
// they are.
class clsConfig : public ContentTypes {
public:
    // path: the settings file; section: the executable's base name.
    clsConfig(std::string path = std::string(), std::string section = "brevadin");

    int32_t LogType = 0;
    std::string ReadPath;
    int TimeDiff = 0;
    // The viewer's window as it was last closed: its normal place in
    // device-independent pixels (WinWidth 0: never stored, the first-start
    // layout applies), whether it was maximised, and the log list's width
    // (0: never stored). Stored only once set, as is the folder of the last
    // export (empty: none yet).
    int WinLeft = 0, WinTop = 0, WinWidth = 0, WinHeight = 0, ListWidth = 0;
    bool WinMaximized = false;
    std::string ExportPath;

    // The grid whose widths Load applies and Save stores; not owned.
    void setDBGrid(ColumnWidths* grid) { grid_ = grid; }

    // Writes every setting with single-key updates (other lines of the file
    // stay as they were) and replaces the "ColWidth" section by the grid's
    // current widths. The file is replaced atomically. A failure leaves the
    // members as they are.
    Outcome Save() const;
    // Reads every setting (defaults for what is missing) and applies the
    // stored column widths to the grid.
    void Load();

    // What a log load takes from the settings.
    ReaderSettings readerSettings() const;

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    const std::string& section() const { return section_; }

private:
    std::string path_;
    std::string section_;
    ColumnWidths* grid_ = nullptr;
};

// "True"/"False" in any letter case, or a number (0 is false); false when the
// text is neither (ok then false).
bool parseBoolean(const std::string& text, bool& ok);

}  // namespace brevadin
