// The checksum list window. A job object holds what the window and its workers share: the workers keep it
// (and the module) alive after the window has gone, and they post to the window only while it exists.
// The window owns the hashing (a ChecksumBatch) and polls it on a timer; it reads each result once, from
// the first unsettled row on, so a tick costs little however long the list.
#include "tools/ChecksumWindow.h"

#include <commctrl.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>

#include "system/Clipboard.h"
#include "system/Path.h"
#include "tools/ChecksumBatch.h"
#include "tools/ChecksumList.h"
#include "ui/Dialog.h"
#include "win/Boundary.h"
#include "win/Errors.h"
#include "win/Lock.h"
#include "win/ModuleReference.h"

namespace Lumo::Tools {

namespace {

std::wstring Files(size_t count) { return FormatCount(count) + (count == 1 ? L" file" : L" files"); }

std::wstring WithoutTrailingSeparators(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::wstring Hex(unsigned long value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 15];
    return text;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

}  // namespace

std::wstring FormatCount(unsigned long long count) {
    const std::wstring digits = std::to_wstring(count);
    std::wstring text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += L',';
        text += digits[i];
    }
    return text;
}

std::wstring FormatBytes(unsigned long long bytes) {
    if (bytes < 1024) return FormatCount(bytes) + (bytes == 1 ? L" byte" : L" bytes");
    static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB", L"PB", L"EB"};
    size_t unit = 0;
    long double scale = 1024;
    while (unit + 1 < std::size(kUnits) && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    auto tenths = static_cast<unsigned long long>(std::llround(bytes / scale * 10));
    // 1,023.96 KB reads better as 1.0 MB.
    if (tenths >= 10240 && unit + 1 < std::size(kUnits)) {
        ++unit;
        tenths = static_cast<unsigned long long>(std::llround(bytes / (scale * 1024) * 10));
    }
    return FormatCount(tenths / 10) + L"." + std::to_wstring(tenths % 10) + L" " + kUnits[unit];
}

std::wstring ChecksumProgressText(size_t filesDone, size_t files, unsigned long long bytesDone,
                                  bool totalKnown, unsigned long long totalBytes) {
    std::wstring text = FormatCount(filesDone) + L" of " + Files(files) + L", " + FormatBytes(bytesDone);
    if (totalKnown) text += L" of " + FormatBytes(totalBytes);
    return text;
}

std::wstring VerifySummary(const ChecksumTally& tally) {
    std::wstring counts = FormatCount(tally.ok) + L" OK, " + FormatCount(tally.failed) + L" FAILED, " +
                          FormatCount(tally.missing) + L" MISSING, " + FormatCount(tally.unreadable) +
                          L" UNREADABLE";
    if (tally.malformedLines > 0) {
        counts += L", " + FormatCount(tally.malformedLines) +
                  (tally.malformedLines == 1 ? L" malformed line" : L" malformed lines");
    }
    if (!tally.cancelled) return Files(tally.files) + L": " + counts;
    const size_t checked = tally.ok + tally.failed + tally.missing + tally.unreadable;
    return L"Cancelled after " + FormatCount(checked) + L" of " + Files(tally.files) + L": " + counts;
}

std::wstring CreateSummary(const CreateOutcome& outcome) {
    const ChecksumTally& tally = outcome.tally;
    if (outcome.written) return Files(tally.files) + L": written to " + outcome.listPath;
    const std::wstring nothing = L". Nothing was written.";
    if (tally.cancelled) {
        return L"Cancelled after " + FormatCount(tally.ok + tally.missing + tally.unreadable) + L" of " +
               Files(tally.files) + nothing;
    }
    if (tally.missing + tally.unreadable > 0) {
        return Files(tally.files) + L": " + FormatCount(tally.missing) + L" MISSING, " +
               FormatCount(tally.unreadable) + L" UNREADABLE" + nothing;
    }
    if (outcome.writeError != 0)
        return outcome.listPath + L" could not be written: " + SystemReason(outcome.writeError) + nothing;
    return L"No files to list" + nothing;
}

std::wstring SystemReason(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring reason;
    if (buffer) {
        reason.assign(buffer, length);
        ::LocalFree(buffer);
    }
    for (wchar_t& c : reason)
        if (c == L'\r' || c == L'\n') c = L' ';
    while (!reason.empty() && reason.back() == L' ') reason.pop_back();
    return reason.empty() ? L"Error " + std::to_wstring(error) : reason;
}

std::wstring ListedNameFor(const std::wstring& listFolder, const std::wstring& path) {
    const std::wstring folder = WithoutTrailingSeparators(listFolder);
    if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != L'\\' ||
        !SamePath(path.substr(0, folder.size()), folder)) {
        return path;
    }
    std::wstring name = path.substr(folder.size() + 1);
    std::replace(name.begin(), name.end(), L'\\', L'/');
    return name;
}

std::wstring DefaultChecksumFileName(const std::wstring& firstItem, const std::wstring& extension) {
    return WithoutTrailingSeparators(firstItem) + extension;
}

std::wstring ReplaceChecksumExtension(const std::wstring& name, const std::wstring& from,
                                      const std::wstring& to) {
    if (from.empty() || name.size() < from.size() || !SamePath(name.substr(name.size() - from.size()), from))
        return name;
    return name.substr(0, name.size() - from.size()) + to;
}

namespace {

using namespace Lumo::WinUi;

constexpr UINT kPreparedMessage = WM_APP + 1;
constexpr UINT kWrittenMessage = WM_APP + 2;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 100;
constexpr size_t kNoTask = static_cast<size_t>(-1);
constexpr int kBarRange = 1000;

enum class Mode { Verify, Create };
enum class RowState : unsigned char { Pending, Ok, Failed, Missing, Unreadable, Cancelled };

bool IsFailure(RowState state) {
    return state == RowState::Failed || state == RowState::Missing || state == RowState::Unreadable;
}

RowState StateOfError(unsigned long error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RowState::Missing
                                                                          : RowState::Unreadable;
}

struct Row {
    std::wstring name;
    size_t task = kNoTask;
    std::wstring digest;  // expected when verifying, computed when creating
    RowState state = RowState::Pending;
    unsigned long error = 0;
};

// The new list's temporary file beside it: created before the hashing (so that a folder that cannot be
// written to is known at once), filled and moved into place at the end, and deleted on every other path.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { Discard(); }

    unsigned long Create(const std::wstring& target) {
        Lumo::Win::ScopedLock hold(lock_);
        const ULONGLONG seed = ::GetTickCount64() ^ (static_cast<ULONGLONG>(::GetCurrentThreadId()) << 20);
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const std::wstring path =
                target + L"." + Hex(static_cast<unsigned long>(seed + attempt)) + L".tmp";
            Lumo::Win::UniqueFile file(::CreateFileW(Lumo::FileSystem::LongPathForm(path).c_str(),
                                                     GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) {
                path_ = path;
                return 0;
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) return ::GetLastError();
        }
        return ERROR_FILE_EXISTS;
    }

    // Writes the bytes and moves the file over `target` unless cancelled first; 0 or the system's error.
    unsigned long CommitAs(const std::string& bytes, const std::wstring& target,
                           const std::atomic<bool>& cancelled) {
        Lumo::Win::ScopedLock hold(lock_);
        if (path_.empty()) return ERROR_CANCELLED;
        {
            Lumo::Win::UniqueFile file(::CreateFileW(Lumo::FileSystem::LongPathForm(path_).c_str(),
                                                     GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) return ::GetLastError();
            for (size_t done = 0; done < bytes.size();) {
                const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
                DWORD written = 0;
                if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr))
                    return ::GetLastError();
                done += written;
            }
            if (!::FlushFileBuffers(file.get())) return ::GetLastError();
        }
        if (cancelled) return ERROR_CANCELLED;
        if (!::MoveFileExW(Lumo::FileSystem::LongPathForm(path_).c_str(),
                           Lumo::FileSystem::LongPathForm(target).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ::GetLastError();
        }
        path_.clear();
        return 0;
    }

    void Discard() noexcept {
        Lumo::Win::ScopedLock hold(lock_);
        if (path_.empty()) return;
        ::DeleteFileW(Lumo::FileSystem::LongPathForm(path_).c_str());
        path_.clear();
    }

private:
    Lumo::Win::CriticalSection lock_;
    std::wstring path_;
};

// What the window and its workers share.
struct Job {
    explicit Job(Mode mode) : mode(mode) {}
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Posts to the window while it exists; the lock makes the window's going the last moment a post leaves.
    void Post(UINT message, WPARAM wParam) {
        Lumo::Win::ScopedLock hold(lock);
        if (window) ::PostMessageW(window, message, wParam, 0);
    }
    void WindowGone() {
        Lumo::Win::ScopedLock hold(lock);
        window = nullptr;
    }

    const Mode mode;
    std::atomic<bool> cancelled{false};
    std::atomic<size_t> found{0};  // entries seen while preparing
    Lumo::Win::CriticalSection lock;
    HWND window = nullptr;  // under lock

    // Given before the preparing worker starts.
    std::vector<std::wstring> listFiles;    // verifying
    std::vector<ChecksumSource> selection;  // creating
    const HashAlgorithmName* algorithm = nullptr;
    std::wstring listPath;

    // Filled by the preparing worker before it posts kPreparedMessage, then the window's.
    std::vector<Row> rows;
    std::vector<ChecksumTask> tasks;
    size_t malformedLines = 0;
    unsigned workers = 1;
    unsigned long tempError = 0;

    TemporaryFile temp;
};

unsigned ReadersFor(const std::vector<ChecksumTask>& tasks) {
    if (tasks.empty()) return 1;
    return ParallelReaders(SeekPenaltyOfPath(tasks.front().path),
                           static_cast<unsigned>(::GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)),
                           tasks.size());
}

void PrepareVerify(Job& job) {
    // The other selected files count when they start like a list, whatever their names.
    std::vector<std::wstring> listFiles;
    for (std::wstring& file : job.listFiles) {
        if (job.cancelled) return;
        if (AlgorithmOfChecksumFileName(file) || FileLooksLikeChecksumList(file))
            listFiles.push_back(std::move(file));
    }
    const bool oneList = listFiles.size() == 1;
    for (const std::wstring& listFile : listFiles) {
        if (job.cancelled) return;
        ChecksumList list;
        unsigned long error = 0;
        if (!ReadChecksumFile(listFile, list, error)) {
            job.rows.push_back({listFile, kNoTask, {}, StateOfError(error), error});
            continue;
        }
        job.malformedLines += list.malformedLines.size();
        const std::wstring folder = FolderOf(listFile);
        for (ChecksumEntry& entry : list.entries) {
            std::wstring path = ResolveListedName(folder, entry.name);
            // Names from several lists may repeat; the full path tells them apart.
            job.rows.push_back(
                {oneList ? std::move(entry.name) : path, job.tasks.size(), std::move(entry.digest)});
            job.tasks.push_back({std::move(path), entry.algorithm});
        }
        job.found += list.entries.size();
    }
    job.workers = ReadersFor(job.tasks);
}

void PrepareCreate(Job& job) {
    const std::wstring listFolder = FolderOf(job.listPath);
    const std::vector<ListedFile> files = FilesInListOrder(
        job.selection, job.listPath,
        [&job](const std::wstring& folder, std::vector<FolderEntry>& entries) {
            const unsigned long error = ReadFolder(folder, entries);
            job.found += entries.size();
            return error;
        },
        [&job] { return job.cancelled.load(); });
    for (const ListedFile& file : files) {
        Row row{ListedNameFor(listFolder, file.path)};
        if (file.error != 0) {
            row.state = StateOfError(file.error);
            row.error = file.error;
        } else {
            row.task = job.tasks.size();
            job.tasks.push_back({file.path, job.algorithm});
        }
        job.rows.push_back(std::move(row));
    }
    if (job.cancelled) return;
    job.tempError = job.temp.Create(job.listPath);
    // Cancelled meanwhile: the window may have discarded the file already, or be gone.
    if (job.cancelled) job.temp.Discard();
    job.workers = ReadersFor(job.tasks);
}

// Runs `work` on a worker; should no thread start, on the calling thread rather than not at all.
void StartWorker(const std::shared_ptr<Job>& job, void (*work)(Job&, std::string), std::string text = {}) {
    auto run = std::make_shared<std::function<void()>>(
        [job, work, text = std::move(text)]() mutable { work(*job, std::move(text)); });
    try {
        Lumo::Win::StartModuleThread([run] { Lumo::Win::VoidBoundary([&] { (*run)(); }); });
    } catch (const Lumo::LastError&) {
        (*run)();
    }
}

void Prepare(Job& job, std::string) {
    if (job.mode == Mode::Verify) {
        PrepareVerify(job);
    } else {
        PrepareCreate(job);
    }
    job.Post(kPreparedMessage, 0);
}

void WriteList(Job& job, std::string text) {
    const unsigned long error =
        job.cancelled ? ERROR_CANCELLED : job.temp.CommitAs(text, job.listPath, job.cancelled);
    if (error != 0) job.temp.Discard();
    job.Post(kWrittenMessage, error);
}

void DiscardList(Job& job, std::string) { job.temp.Discard(); }

class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialized_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

class ChecksumWindow : public Dialog {
public:
    explicit ChecksumWindow(std::shared_ptr<Job> job)
        : Dialog(job->mode == Mode::Verify ? kVerifyChecksumsTitle : kCreatingChecksumFileTitle, true),
          job_(std::move(job)) {
        resizableFrame_ = true;
    }

protected:
    void CreateControls() override {
        HWND status = AddStatic(kChecksumStatus, L"", 300, 30);
        ::SetWindowLongW(status, GWL_STYLE, ::GetWindowLongW(status, GWL_STYLE) | SS_NOPREFIX);
        HWND bar = Child(0, PROGRESS_CLASSW, kChecksumProgress, 0, 300, 16);
        ::SendMessageW(bar, PBM_SETRANGE32, 0, kBarRange);
        HWND list = Child(WS_EX_CLIENTEDGE, WC_LISTVIEWW, kChecksumResults,
                          LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP, 300, 120);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        const wchar_t* const columns[] = {L"Name", L"Result"};
        for (int i = 0; i < 2; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            column.pszText = const_cast<wchar_t*>(columns[i]);
            column.cx = Scale(150);
            column.iSubItem = i;
            ListView_InsertColumn(list, i, &column);
        }
        AddCheckBox(kChecksumOnlyFailures, L"Only failures", 110, 16);
        AddButton(kChecksumCopyFailures, L"Copy Failures", 95, 23);
        ::EnableWindow(::GetDlgItem(Window(), kChecksumCopyFailures), FALSE);
        AddButton(kChecksumCancelClose, L"Cancel", 80, 23);
    }

    void DefineLayout() override {
        auto root = NewRoot(Vertical);
        Append(root, ControlItem(kChecksumStatus, FixedHeight));
        Append(root, ControlItem(kChecksumProgress, FixedHeight));
        Append(root, ControlItem(kChecksumResults, Stretch));
        auto buttons = NewPane(Horizontal, FixedHeight);
        Append(buttons, ControlItem(kChecksumOnlyFailures, FixedSize | AlignCentreVertical));
        Append(buttons, GrowingSpace(Horizontal));
        Append(buttons, ControlItem(kChecksumCopyFailures, FixedSize));
        Append(buttons, ControlItem(kChecksumCancelClose, FixedSize));
        Append(root, buttons);
    }

    void AfterInit() override {
        // A window of its own, in the taskbar, that can be put aside while it works.
        ::SetWindowLongW(Window(), GWL_STYLE, ::GetWindowLongW(Window(), GWL_STYLE) | WS_MINIMIZEBOX);
        ::SetWindowLongW(Window(), GWL_EXSTYLE, ::GetWindowLongW(Window(), GWL_EXSTYLE) | WS_EX_APPWINDOW);
        ::SetWindowPos(Window(), nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_NOACTIVATE);
        ::SetForegroundWindow(Window());
        FitColumns();
        ::SetFocus(::GetDlgItem(Window(), kChecksumCancelClose));
        {
            Lumo::Win::ScopedLock hold(job_->lock);
            job_->window = Window();
        }
        phase_ = Phase::Preparing;
        ShowPreparing();
        ::SetTimer(Window(), kPollTimer, kPollMs, nullptr);
        StartWorker(job_, Prepare);
    }

    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case WM_TIMER:
                if (wParam == kPollTimer) Poll();
                return true;
            case kPreparedMessage:
                if (phase_ == Phase::Preparing) StartHashing();
                return true;
            case kWrittenMessage:
                Written(static_cast<unsigned long>(wParam));
                return true;
            case WM_CLOSE:
                Cancel();
                End(IDCANCEL);
                return true;
            case WM_SIZE:
                Dialog::ProcessMessage(message, wParam, lParam, result);
                FitColumns();
                return true;
            case WM_DESTROY:
                // Whatever ends the window ends the work, and no worker posts to it any more.
                job_->WindowGone();
                ::KillTimer(Window(), kPollTimer);
                Cancel();
                break;
            default:
                break;
        }
        return Dialog::ProcessMessage(message, wParam, lParam, result);
    }

    bool OnCommand(int id, int code, HWND) override {
        switch (id) {
            case kChecksumCancelClose:
                if (code != BN_CLICKED) return true;
                if (Running()) {
                    Cancel();
                } else {
                    End(IDCANCEL);
                }
                return true;
            case IDCANCEL:  // Escape, as the close box
                Cancel();
                End(IDCANCEL);
                return true;
            case IDOK:  // Enter in the list: nothing to confirm
                return true;
            case kChecksumOnlyFailures:
                if (code == BN_CLICKED) Refilter();
                return true;
            case kChecksumCopyFailures:
                if (code == BN_CLICKED) CopyFailures();
                return true;
            default:
                return false;
        }
    }

    bool OnNotify(const NMHDR& header, LRESULT& result) override {
        if (header.idFrom != kChecksumResults || header.code != LVN_GETDISPINFOW) return false;
        auto& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            item.pszText[0] = L'\0';
            const size_t visible = static_cast<size_t>(item.iItem);
            const size_t index =
                onlyFailures_ ? (visible < failures_.size() ? failures_[visible] : rows_.size()) : visible;
            if (index < rows_.size()) {
                const Row& row = rows_[index];
                const std::wstring text = item.iSubItem == 0 ? row.name : ResultText(row);
                ::lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
            }
        }
        result = 0;
        return true;
    }

private:
    enum class Phase { Starting, Preparing, Hashing, Writing, Done };

    HWND Child(DWORD exStyle, const wchar_t* className, int id, DWORD style, int width, int height) {
        HWND control = ::CreateWindowExW(
            exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, Scale(width), Scale(height),
            Window(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Lumo::Win::CurrentModule(), nullptr);
        if (!control) throw Lumo::LastError();
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                       FALSE);
        return control;
    }
    HWND Item(int id) const { return ::GetDlgItem(Window(), id); }
    void SetStatus(const std::wstring& text) { ::SetDlgItemTextW(Window(), kChecksumStatus, text.c_str()); }
    bool Running() const { return phase_ != Phase::Done; }
    bool Creating() const { return job_->mode == Mode::Create; }

    void FitColumns() {
        HWND list = Item(kChecksumResults);
        if (!list) return;
        RECT client{};
        ::GetClientRect(list, &client);
        ListView_SetColumnWidth(list, 0, client.right * (Creating() ? 45 : 55) / 100);
        ListView_SetColumnWidth(list, 1, LVSCW_AUTOSIZE_USEHEADER);
    }

    void ShowPreparing() {
        const size_t found = job_->found;
        if (Creating()) {
            SetStatus(L"Looking for files... " + FormatCount(found) + L" found");
        } else {
            SetStatus(L"Reading the checksum files... " + FormatCount(found) + L" entries");
        }
    }

    void StartHashing() {
        rows_ = std::move(job_->rows);
        tally_.files = rows_.size();
        tally_.malformedLines = job_->malformedLines;
        ListView_SetItemCountEx(Item(kChecksumResults), rows_.size(), LVSICF_NOSCROLL);
        for (size_t i = 0; i < rows_.size(); ++i)
            if (rows_[i].state != RowState::Pending) Settled(i);
        if (Creating() && job_->tempError != 0) {
            writeError_ = job_->tempError;
            Finish();
            return;
        }
        if (job_->tasks.empty()) {
            Finish();
            return;
        }
        try {
            batch_ = std::make_unique<ChecksumBatch>(std::move(job_->tasks), job_->workers, nullptr, true);
        } catch (const Lumo::LastError&) {
            // No thread for the work: as good as cancelled.
            phase_ = Phase::Hashing;
            Cancel();
            return;
        }
        workers_ = job_->workers;
        phase_ = Phase::Hashing;
        Poll();
    }

    void Poll() {
        if (phase_ == Phase::Preparing) {
            ShowPreparing();
            return;
        }
        if (phase_ != Phase::Hashing) return;
        const size_t done = batch_->FilesDone();
        const unsigned long long bytes = batch_->BytesDone();
        unsigned long long total = 0;
        const bool totalKnown = batch_->TotalBytes(total);
        const int position = totalKnown && total > 0
                                 ? static_cast<int>(static_cast<long double>(bytes) * kBarRange / total)
                                 : static_cast<int>(done * kBarRange / std::max<size_t>(batch_->Count(), 1));
        ::SendMessageW(Item(kChecksumProgress), PBM_SETPOS, static_cast<WPARAM>(position), 0);
        SetStatus(ChecksumProgressText(done, batch_->Count(), bytes, totalKnown, total));
        Scan(false);
        if (done >= batch_->Count()) Finish();
    }

    // Reads the results that came in since the last look. The workers take the files in order and no more
    // than `workers_` are under way at once, so past that many unfinished rows nothing has a result yet.
    void Scan(bool everything) {
        size_t pending = 0;
        bool contiguous = true;
        for (size_t i = cursor_; i < rows_.size(); ++i) {
            Row& row = rows_[i];
            if (row.state == RowState::Pending) {
                ChecksumTaskResult result = batch_->Result(row.task);
                if (result.status == ChecksumStatus::Pending) {
                    contiguous = false;
                    if (!everything && ++pending > workers_) break;
                    continue;
                }
                Settle(row, std::move(result));
                Settled(i);
            }
            if (contiguous) cursor_ = i + 1;
        }
        // Results come in a little out of order; the filtered view keeps the list's order.
        if (!std::is_sorted(failures_.begin(), failures_.end()))
            std::sort(failures_.begin(), failures_.end());
        ShowRows();
    }

    void Settle(Row& row, ChecksumTaskResult result) const {
        switch (result.status) {
            case ChecksumStatus::Hashed:
                if (Creating()) {
                    row.state = RowState::Ok;
                    row.digest = std::move(result.digest);
                } else {
                    row.state = result.digest == row.digest ? RowState::Ok : RowState::Failed;
                }
                return;
            case ChecksumStatus::Missing:
                row.state = RowState::Missing;
                return;
            case ChecksumStatus::Unreadable:
                row.state = RowState::Unreadable;
                row.error = result.error;
                return;
            case ChecksumStatus::Cancelled:
            case ChecksumStatus::Pending:
                row.state = RowState::Cancelled;
                return;
        }
    }

    void Settled(size_t index) {
        const Row& row = rows_[index];
        switch (row.state) {
            case RowState::Ok:
                ++tally_.ok;
                break;
            case RowState::Failed:
                ++tally_.failed;
                break;
            case RowState::Missing:
                ++tally_.missing;
                break;
            case RowState::Unreadable:
                ++tally_.unreadable;
                break;
            default:
                break;
        }
        if (IsFailure(row.state)) {
            failures_.push_back(index);
            failuresChanged_ = true;
        }
        firstChanged_ = std::min(firstChanged_, index);
        lastChanged_ = std::max(lastChanged_, index);
    }

    // Repaints only the rows on screen that changed: with thousands of rows settling every tick, painting
    // the whole list each time would keep the window's thread busy painting.
    void ShowRows() {
        HWND list = Item(kChecksumResults);
        if (onlyFailures_ && failuresChanged_) {
            ListView_SetItemCountEx(list, failures_.size(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
            ::InvalidateRect(list, nullptr, FALSE);
        } else if (!onlyFailures_ && firstChanged_ <= lastChanged_) {
            const size_t top = static_cast<size_t>(std::max(ListView_GetTopIndex(list), 0));
            const size_t bottom = top + static_cast<size_t>(std::max(ListView_GetCountPerPage(list), 0));
            const size_t first = std::max(firstChanged_, top), last = std::min(lastChanged_, bottom);
            if (first <= last) ListView_RedrawItems(list, static_cast<int>(first), static_cast<int>(last));
        }
        firstChanged_ = SIZE_MAX;
        lastChanged_ = 0;
        failuresChanged_ = false;
        ::EnableWindow(Item(kChecksumCopyFailures), failures_.empty() ? FALSE : TRUE);
    }

    void Refilter() {
        onlyFailures_ = ::IsDlgButtonChecked(Window(), kChecksumOnlyFailures) == BST_CHECKED;
        ListView_SetItemCountEx(Item(kChecksumResults), onlyFailures_ ? failures_.size() : rows_.size(), 0);
        ::InvalidateRect(Item(kChecksumResults), nullptr, TRUE);
    }

    std::wstring ResultText(const Row& row) const {
        switch (row.state) {
            case RowState::Ok:
                return Creating() ? row.digest : L"OK";
            case RowState::Failed:
                return L"FAILED";
            case RowState::Missing:
                return L"MISSING";
            case RowState::Unreadable:
                return L"UNREADABLE: " + SystemReason(row.error);
            default:
                return {};
        }
    }

    void CopyFailures() {
        std::wstring text;
        for (size_t index : failures_) text += rows_[index].name + L": " + ResultText(rows_[index]) + L"\r\n";
        Lumo::System::SetClipboardText(text);
    }

    // Stops whatever runs; the results so far stay on show.
    void Cancel() {
        if (!Running()) return;
        job_->cancelled = true;
        if (batch_) {
            batch_->Cancel();
            Scan(true);
        }
        tally_.cancelled = true;
        if (Creating() && phase_ != Phase::Writing) StartWorker(job_, DiscardList);
        Done();
    }

    // Every file has its result: a verification is over; a new list is written only when every file
    // could be read (a list that leaves files out unnoticed is worse than none).
    void Finish() {
        ::KillTimer(Window(), kPollTimer);
        if (batch_) Scan(true);
        if (!Creating()) {
            Done();
            return;
        }
        if (writeError_ != 0 || tally_.missing + tally_.unreadable > 0 || rows_.empty()) {
            StartWorker(job_, DiscardList);
            Done();
            return;
        }
        std::string text;
        for (const Row& row : rows_) text += FormatChecksumLine(*job_->algorithm, row.digest, row.name);
        phase_ = Phase::Writing;
        SetStatus(L"Writing " + job_->listPath + L"...");
        StartWorker(job_, WriteList, std::move(text));
    }

    void Written(unsigned long error) {
        written_ = error == 0;
        if (error != ERROR_CANCELLED) writeError_ = error;
        if (written_) tally_.cancelled = false;
        if (phase_ == Phase::Writing) {
            Done();
        } else {
            ShowSummary();
        }
    }

    void Done() {
        ::KillTimer(Window(), kPollTimer);
        phase_ = Phase::Done;
        failuresChanged_ = true;
        ShowRows();
        ::InvalidateRect(Item(kChecksumResults), nullptr, FALSE);
        if (!tally_.cancelled && writeError_ == 0)
            ::SendMessageW(Item(kChecksumProgress), PBM_SETPOS, kBarRange, 0);
        ::SetDlgItemTextW(Window(), kChecksumCancelClose, L"Close");
        ShowSummary();
    }

    void ShowSummary() {
        if (!Creating()) {
            SetStatus(VerifySummary(tally_));
            return;
        }
        CreateOutcome outcome;
        outcome.tally = tally_;
        outcome.listPath = job_->listPath;
        outcome.written = written_;
        outcome.writeError = writeError_;
        SetStatus(CreateSummary(outcome));
    }

    std::shared_ptr<Job> job_;
    Phase phase_ = Phase::Starting;
    std::unique_ptr<ChecksumBatch> batch_;
    unsigned workers_ = 1;
    std::vector<Row> rows_;
    std::vector<size_t> failures_;  // rows that failed, in list order
    size_t cursor_ = 0;             // rows before it all have their result
    bool onlyFailures_ = false;
    size_t firstChanged_ = SIZE_MAX;  // the rows that settled since the last paint
    size_t lastChanged_ = 0;
    bool failuresChanged_ = false;
    ChecksumTally tally_;
    bool written_ = false;
    unsigned long writeError_ = 0;
};

struct AlgorithmChoice {
    const wchar_t* label;
    const wchar_t* name;
};
constexpr AlgorithmChoice kAlgorithms[] = {
    {L"CRC32", L"crc32"},    {L"GOST", L"gost"},      {L"MD2", L"md2"},
    {L"MD4", L"md4"},        {L"MD5", L"md5"},        {L"SHA-1", L"sha1"},
    {L"SHA-256", L"sha256"}, {L"SHA-384", L"sha384"}, {L"SHA-512", L"sha512"},
};
constexpr int kDefaultAlgorithm = 6;

// Asks for the algorithm and the list's name.
class CreateChecksumDialog : public Dialog {
public:
    explicit CreateChecksumDialog(std::wstring firstItem)
        : Dialog(kCreateChecksumFileTitle, true), firstItem_(std::move(firstItem)) {}

    const HashAlgorithmName* algorithm = nullptr;
    std::wstring listPath;

protected:
    void CreateControls() override {
        AddHeader(kCreateAlgorithmHeader, L"Algorithm", 10, 12);
        HWND combo = AddDropDown(10, 200);
        for (const AlgorithmChoice& choice : kAlgorithms)
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.label));
        ::SendMessageW(combo, CB_SETCURSEL, kDefaultAlgorithm, 0);
        AddHeader(kCreateFileHeader, L"Checksum file", 10, 12);
        AddEdit(kCreateFileName, false, false, ES_AUTOHSCROLL, 10, 22);
        ::SetDlgItemTextW(Window(), kCreateFileName,
                          DefaultChecksumFileName(firstItem_, Extension(kDefaultAlgorithm)).c_str());
        AddButton(kCreateBrowse, L"Browse...", 75, 23);
        AddButton(IDOK, L"OK", 75, 23);
        AddButton(IDCANCEL, L"Cancel", 75, 23);
        ::SendMessageW(Window(), DM_SETDEFID, IDOK, 0);
        chosen_ = kDefaultAlgorithm;
    }

    void DefineLayout() override {
        auto root = NewRoot(Vertical);
        Append(root, ControlItem(kCreateAlgorithmHeader, FixedHeight));
        Append(root, ControlItem(kCreateAlgorithm, FixedHeight));
        Append(root, ControlItem(kCreateFileHeader, FixedHeight));
        auto file = NewPane(Horizontal, FixedHeight);
        Append(file, ControlItem(kCreateFileName, FixedHeight | AlignCentreVertical));
        Append(file, ControlItem(kCreateBrowse, FixedSize));
        Append(root, file);
        Append(root, GrowingSpace(Vertical));
        auto buttons = NewPane(Horizontal, FixedHeight);
        Append(buttons, GrowingSpace(Horizontal));
        Append(buttons, ControlItem(IDOK, FixedSize));
        Append(buttons, ControlItem(IDCANCEL, FixedSize));
        Append(root, buttons);
    }

    void AfterInit() override { ::SetForegroundWindow(Window()); }

    bool OnCommand(int id, int code, HWND) override {
        switch (id) {
            case kCreateAlgorithm:
                if (code == CBN_SELCHANGE) ChangeAlgorithm();
                return true;
            case kCreateBrowse:
                if (code == BN_CLICKED) Browse();
                return true;
            case IDOK:
                Accept();
                return true;
            default:
                return false;
        }
    }

private:
    static std::wstring Extension(int choice) {
        return ChecksumFileExtension(*FindHashAlgorithm(kAlgorithms[choice].name));
    }
    std::wstring ItemsFolder() const { return FolderOf(WithoutTrailingSeparators(firstItem_)); }
    std::wstring FileName() const { return Lumo::Win::WindowText(::GetDlgItem(Window(), kCreateFileName)); }
    void SetFileName(const std::wstring& name) { ::SetDlgItemTextW(Window(), kCreateFileName, name.c_str()); }

    void ChangeAlgorithm() {
        const int choice =
            static_cast<int>(::SendDlgItemMessageW(Window(), kCreateAlgorithm, CB_GETCURSEL, 0, 0));
        if (choice < 0 || choice >= static_cast<int>(std::size(kAlgorithms))) return;
        SetFileName(ReplaceChecksumExtension(FileName(), Extension(chosen_), Extension(choice)));
        chosen_ = choice;
    }

    // The system's save dialog, through COM: nothing of the common dialog library is loaded into the host
    // until someone browses.
    void Browse() {
        using Lumo::Win::ComPtr;
        ComPtr<IFileSaveDialog> dialog;
        if (FAILED(::CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IFileSaveDialog, dialog.put_void()))) {
            return;
        }
        const std::wstring extension = Extension(chosen_);
        const std::wstring pattern = L"*" + extension;
        const COMDLG_FILTERSPEC types[] = {{L"Checksum files", pattern.c_str()}, {L"All files", L"*.*"}};
        dialog->SetFileTypes(2, types);
        dialog->SetDefaultExtension(extension.c_str() + 1);
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_OVERWRITEPROMPT | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST |
                           FOS_NOCHANGEDIR);
        const std::wstring current = ResolveListedName(ItemsFolder(), FileName());
        ComPtr<IShellItem> folder;
        if (SUCCEEDED(::SHCreateItemFromParsingName(FolderOf(current).c_str(), nullptr, IID_IShellItem,
                                                    folder.put_void())))
            dialog->SetFolder(folder.get());
        dialog->SetFileName(current.substr(current.find_last_of(L'\\') + 1).c_str());
        ComPtr<IShellItem> chosen;
        if (dialog->Show(Window()) != S_OK || FAILED(dialog->GetResult(chosen.put()))) return;
        wchar_t* path = nullptr;
        if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) return;
        const Lumo::Win::UniqueCoTaskMem owned(path);
        SetFileName(path);
        replaceConfirmed_ = path;  // the dialog asked already
    }

    void Accept() {
        const std::wstring name = FileName();
        if (name.find_first_not_of(L" \t") == std::wstring::npos) {
            ::MessageBeep(MB_ICONWARNING);
            ::SetFocus(::GetDlgItem(Window(), kCreateFileName));
            return;
        }
        // A bare name goes beside the first item, not into the host's current folder.
        const std::wstring path = ResolveListedName(ItemsFolder(), name);
        const DWORD attributes = ::GetFileAttributesW(Lumo::FileSystem::LongPathForm(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !SamePath(path, replaceConfirmed_)) {
            const std::wstring question = path + L" already exists.\r\nDo you want to replace it?";
            if (::MessageBoxW(Window(), question.c_str(), kCreateChecksumFileTitle,
                              MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
                return;
            }
        }
        algorithm = FindHashAlgorithm(kAlgorithms[chosen_].name);
        listPath = path;
        End(IDOK);
    }

    std::wstring firstItem_;
    int chosen_ = kDefaultAlgorithm;
    std::wstring replaceConfirmed_;
};

constexpr int kWindowWidthDu = 260, kWindowHeightDu = 170;

void RunWindow(const std::shared_ptr<Job>& job) {
    ChecksumWindow window(job);
    window.RunModal(kWindowWidthDu, kWindowHeightDu, nullptr);
}

}  // namespace

Lumo::Win::UniqueHandle StartVerifyChecksums(std::vector<std::wstring> listFiles) {
    return Lumo::Win::StartModuleThread([listFiles = std::move(listFiles)]() mutable {
        Lumo::Win::VoidBoundary([&] {
            if (listFiles.empty()) return;
            const ComApartment com;
            auto job = std::make_shared<Job>(Mode::Verify);
            job->listFiles = std::move(listFiles);
            RunWindow(job);
        });
    });
}

Lumo::Win::UniqueHandle StartCreateChecksumFile(std::vector<ChecksumSource> selection) {
    return Lumo::Win::StartModuleThread([selection = std::move(selection)]() mutable {
        Lumo::Win::VoidBoundary([&] {
            if (selection.empty()) return;
            const ComApartment com;  // the file dialog of "Browse..."
            CreateChecksumDialog ask(selection.front().path);
            if (ask.RunModal(230, 78, nullptr) != IDOK || !ask.algorithm) return;
            auto job = std::make_shared<Job>(Mode::Create);
            job->selection = std::move(selection);
            job->algorithm = ask.algorithm;
            job->listPath = ask.listPath;
            RunWindow(job);
        });
    });
}

}  // namespace Lumo::Tools
