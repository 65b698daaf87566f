#include "app/export.h"

#include "winbase/files.h"
#include "winbase/lock.h"

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

namespace quarnel {

namespace {

// An export thread's wait for the list: filled on the window thread.
struct RowsRequest {
    SheetWriter sheet;
    bool answered = false;
};

// Files written under temporary names beside their targets; each one that has not taken its
// target's name is removed at the end.
class Replacements {
public:
    Replacements() = default;
    Replacements(const Replacements&) = delete;
    Replacements& operator=(const Replacements&) = delete;
    ~Replacements() {
        for (const File& file : files_) {
            if (!file.placed)
                DeleteFileW(file.temp.c_str());
        }
    }

    bool write(std::wstring target, std::string_view bytes) {
        // The thread's id keeps apart two exports writing beside the same target at once.
        std::wstring temp = target + L"." + std::to_wstring(GetCurrentThreadId()) + L".tmp";
        if (!win::write_file_to_disk(temp, bytes))
            return false;
        files_.push_back({std::move(temp), std::move(target), false});
        return true;
    }

    // Every file takes its target's name, or, when one of the targets may not be replaced,
    // none does.
    bool place() {
        for (const File& file : files_) {
            if (!win::may_replace(file.target))
                return false;
        }
        for (File& file : files_) {
            file.placed = true;  // moved, or removed by a failed move
            if (!win::move_into_place(file.temp, file.target))
                return false;
        }
        return true;
    }

private:
    struct File {
        std::wstring temp, target;
        bool placed;
    };
    std::vector<File> files_;
};

}  // namespace

// What the window and its export threads share; the threads keep it alive after the window.
struct ListExport::Shared {
    mutable win::Lock lock;
    std::condition_variable_any written;  // `writing` went down
    // The dialog's file name: empty at first, then the last path chosen in this run.
    std::wstring file_name;
    std::vector<RowsRequest*> requests;  // threads waiting for the list
    int running = 0;                     // export threads not yet ended
    int writing = 0;                     // exports between taking the list and placing their files
    bool ending = false;                 // the program ends: no more lists, no more opening
};

// One export: what its thread needs, none of it owned by the window.
struct ListExport::Job {
    std::shared_ptr<Shared> shared;
    std::shared_ptr<OutsideEffects> effects;
    HWND window = nullptr;
    SaveFileDialog dialog;

    void run();
};

SheetWriter sheet_of_list(const ui::ListView& list) {
    int columns = std::max(list.column_count() - 1, 0);
    int rows = list.row_count();
    SheetWriter sheet;
    sheet.set_column_count(columns);
    sheet.set_row_count(rows + 1);
    for (int c = 1; c <= columns; ++c)
        sheet.set_cell(1, c, list.column_caption(c));
    for (int r = 0; r < rows; ++r) {
        for (int c = 1; c <= columns; ++c)
            sheet.set_cell(r + 2, c, list.cell_text(r, c));
    }
    return sheet;
}

bool save_sheet(const SheetWriter& sheet, const std::wstring& path) {
    Replacements files;
    bool written = sheet.save([&](int index, std::string_view bytes) {
        return files.write(index == 0 ? path : continuation_path(path, index + 1), bytes);
    });
    return written && files.place();
}

ListExport::ListExport(const ui::Window& owner,
                       const ui::ListView& list,
                       std::wstring folder,
                       std::shared_ptr<OutsideEffects> effects)
    : owner_(owner),
      list_(list),
      folder_(std::move(folder)),
      effects_(std::move(effects)),
      shared_(std::make_shared<Shared>()) {}

ListExport::~ListExport() {
    finish();
}

void ListExport::export_list() {
    auto job = std::make_unique<Job>();
    job->shared = shared_;
    job->effects = effects_;
    job->window = owner_.hwnd();
    SaveFileDialog& dialog = job->dialog;
    dialog.owner = owner_.hwnd();
    dialog.title = L"选择导出的文件名";
    dialog.initial_folder = folder_;
    dialog.filter = dialog_design_.filter;
    dialog.default_extension = dialog_design_.default_extension;
    dialog.options = dialog_design_.options;
    {
        std::lock_guard hold(shared_->lock);
        ++shared_->running;
    }
    HANDLE thread = CreateThread(nullptr, 0, &ListExport::run_thread, job.get(), 0, nullptr);
    if (!thread) {
        std::lock_guard hold(shared_->lock);
        --shared_->running;
        return;
    }
    job.release();  // the thread's now
    // Nothing waits for the thread: it ends by itself, also after the window.
    CloseHandle(thread);
}

DWORD WINAPI ListExport::run_thread(void* param) {
    std::unique_ptr<Job> job(static_cast<Job*>(param));
    std::shared_ptr<Shared> shared = job->shared;
    // The save dialog and the shell's "open" want a single-threaded apartment.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    try {
        job->run();
    } catch (const std::bad_alloc&) {
        // A list too large to copy here: nothing is written.
    }
    job.reset();
    if (SUCCEEDED(com))
        CoUninitialize();
    std::lock_guard hold(shared->lock);
    --shared->running;
    return 0;
}

void ListExport::Job::run() {
    {
        std::lock_guard hold(shared->lock);
        dialog.file_name = shared->file_name;
    }
    std::optional<std::wstring> path = effects->choose_save_file(dialog);
    if (!path)
        return;
    RowsRequest request;
    {
        std::lock_guard hold(shared->lock);
        shared->file_name = *path;
        if (shared->ending)
            return;
        shared->requests.push_back(&request);
    }
    // One message for the whole list. A window gone before it is handled answers nothing.
    SendMessageW(window, kExportRowsMessage, 0, 0);
    {
        std::lock_guard hold(shared->lock);
        if (!request.answered) {
            std::erase(shared->requests, &request);
            return;
        }
    }
    // The window thread counted this export as writing when it answered.
    bool saved = false;
    try {
        saved = save_sheet(request.sheet, *path);
    } catch (const std::bad_alloc&) {
    }
    request.sheet = SheetWriter();
    bool open = false;
    {
        std::lock_guard hold(shared->lock);
        --shared->writing;
        shared->written.notify_all();
        open = saved && !shared->ending;
    }
    // Only a file this export wrote is opened: an old one at the path would pass for the export.
    if (open)
        effects->open_file(*path);
}

void ListExport::answer_rows_requests() {
    std::lock_guard hold(shared_->lock);
    if (shared_->ending)
        return;
    for (RowsRequest* request : shared_->requests) {
        try {
            request->sheet = sheet_of_list(list_);
        } catch (const std::bad_alloc&) {
            request->sheet = SheetWriter();  // unanswered: that export writes nothing
            continue;
        }
        request->answered = true;
        ++shared_->writing;
    }
    shared_->requests.clear();
}

void ListExport::finish(DWORD timeout_ms) {
    // A writing thread needs nothing of the window thread, so waiting here cannot deadlock.
    std::unique_lock hold(shared_->lock);
    shared_->ending = true;
    shared_->written.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] { return shared_->writing == 0; });
}

int ListExport::running() const {
    std::lock_guard hold(shared_->lock);
    return shared_->running;
}

}  // namespace quarnel
