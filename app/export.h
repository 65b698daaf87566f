#pragma once

// The export of the whole address list to a worksheet file: the command asks for a file name in
// the save dialog, writes the list there and opens the file with its associated program, all on
// a thread of its own, so the window goes on with its timers and the title capture meanwhile.
// The thread gets the list as one copy made on the window thread, so the file shows the list as
// it was at one moment.

#include "app/outside_effects.h"
#include "controls/list_view.h"
#include "core/sheet_writer.h"

#include <windows.h>

#include <memory>
#include <string>

namespace quarnel {

// The private message by which an export thread asks for its copy of the list. It carries
// nothing: the requests wait in the ListExport object.
inline constexpr UINT kExportRowsMessage = WM_APP + 101;

// The design of the save dialog; the export fills in the rest.
struct SaveDialogDesign {
    const wchar_t* filter = L"EXCEL表格|*.xls";
    // What a name typed without an extension gets: the file is a binary worksheet.
    const wchar_t* default_extension = L"xls";
    // Asks before an existing file is chosen, takes only folders that exist, shows no read-only
    // box. Not file-must-exist: a save dialog with it refuses every new name. The process's
    // current folder stays as it is, or the folder last chosen would stay in use.
    DWORD options = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
};

// The list as the exported grid: the captions of list columns 1 to last (the row number is left
// out), then every row's cells of those columns, hidden columns too. Window thread.
SheetWriter sheet_of_list(const ui::ListView& list);

// Writes the sheet to `path` and, for a list too long for one file, its continuation files
// beside it. Every file is written under a temporary name in the same folder first; only when
// all are written do they take their names, each in one step. A file that cannot be written or
// replaced (read-only, say) leaves every target as it was and no temporary file behind.
// Returns whether every file took its name.
bool save_sheet(const SheetWriter& sheet, const std::wstring& path);

class ListExport {
public:
    // `owner`: the window the dialog belongs to and kExportRowsMessage goes to; `folder`: where
    // the dialog opens.
    ListExport(const ui::Window& owner,
               const ui::ListView& list,
               std::wstring folder,
               std::shared_ptr<OutsideEffects> effects);
    ~ListExport();
    ListExport(const ListExport&) = delete;
    ListExport& operator=(const ListExport&) = delete;

    // Window thread: the "导出表格" command. Starts an export thread and returns at once; each
    // export has a thread and a sheet of its own, however many run.
    void export_list();
    // Window thread: gives every export thread waiting for the list its copy (the window's
    // kExportRowsMessage).
    void answer_rows_requests();
    // Window thread, when the program ends: exports still to take the list will write nothing
    // and open nothing, and files being written are finished first, waiting at most
    // `timeout_ms`, so the program leaves neither a half-written file nor a temporary one.
    void finish(DWORD timeout_ms = 30000);
    // How many export threads have not ended.
    int running() const;

private:
    struct Shared;
    struct Job;
    static DWORD WINAPI run_thread(void* job);

    const ui::Window& owner_;
    const ui::ListView& list_;
    std::wstring folder_;
    SaveDialogDesign dialog_design_;
    std::shared_ptr<OutsideEffects> effects_;  // shared with the threads, which may outlast the window
    std::shared_ptr<Shared> shared_;
};

}  // namespace quarnel
