// The diagnostic log's plain parts: the rate limit, the line, the file that
// keeps one older file beside it; and the scoped lock the log is guarded by.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "win/DiagnosticLog.h"
#include "win/Lock.h"

using namespace Lumo::Win;
using QuelvarTest::ReadFileBytes;
using QuelvarTest::TempFolder;

TEST(DiagnosticLog, ABurstIsCutToAFewLinesASecondAndTheNextLineSaysHowManyWereLeftOut) {
    LogRateLimiter limiter(5);
    unsigned dropped = 0;
    int admitted = 0;
    for (int i = 0; i < 40; ++i) admitted += limiter.Admit(10'000 + i * 10, dropped) ? 1 : 0;
    EXPECT_EQ(5, admitted);
    ASSERT_TRUE(limiter.Admit(11'000, dropped));
    EXPECT_EQ(35u, dropped);
    ASSERT_TRUE(limiter.Admit(11'001, dropped));
    EXPECT_EQ(0u, dropped);
}

TEST(DiagnosticLog, OneLineNamesProcessModuleFunctionCodeAndItsText) {
    const SYSTEMTIME time{2026, 12, 2, 8, 9, 5, 7, 42};
    struct Row {
        DWORD code;
        const char* detail;
        unsigned dropped;
        std::wstring expected;
    };
    const Row rows[] = {
        {ERROR_ACCESS_DENIED, nullptr, 0,
         L"2026-12-08 09:05:07.042 explorer.exe(42) Quelvar.dll QueryContextMenu: error 5 "},
        {static_cast<DWORD>(E_OUTOFMEMORY), "std::bad_alloc", 3,
         L"2026-12-08 09:05:07.042 explorer.exe(42) Quelvar.dll QueryContextMenu: error 0x8007000E "},
    };
    for (const Row& row : rows) {
        const std::wstring line = FormatLogLine(time, L"explorer.exe", 42, L"Quelvar.dll", "QueryContextMenu",
                                                row.code, row.detail, row.dropped);
        EXPECT_EQ(0u, line.find(row.expected)) << line;
        const std::wstring text = ErrorText(row.code);
        EXPECT_FALSE(text.empty());
        EXPECT_NE(std::wstring::npos, line.find(text)) << line;
        // One line: the system's text loses its own line break.
        EXPECT_EQ(line.size() - 2, line.find(L"\r\n")) << line;
        if (row.detail) {
            EXPECT_NE(std::wstring::npos, line.find(L"[std::bad_alloc]")) << line;
        }
        if (row.dropped) {
            EXPECT_NE(std::wstring::npos, line.find(L"(3 earlier lines left out)")) << line;
        }
    }
}

TEST(DiagnosticLog, AFullFileBecomesTheOlderOneAndOnlyOneOlderFileIsKept) {
    TempFolder folder;
    std::wstring base = folder.Path();
    base.pop_back();
    const std::wstring line(38, L'x');  // 40 bytes with CR LF
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(AppendToLogFile(base, line + L"\r\n", 100));
    EXPECT_EQ(80u, ReadFileBytes(folder.File(kDiagnosticLogFileName)).size());
    // The third line would pass the limit: the file moves aside, the line starts a new one.
    ASSERT_TRUE(AppendToLogFile(base, line + L"\r\n", 100));
    EXPECT_EQ(40u, ReadFileBytes(folder.File(kDiagnosticLogFileName)).size());
    EXPECT_EQ(80u, ReadFileBytes(folder.File(kDiagnosticLogOlderFileName)).size());
    // 41 bytes each in UTF-8: the first joins the 40, the second moves those 81 aside.
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(AppendToLogFile(base, L"\u00e9" + line.substr(1) + L"\r\n", 100));
    EXPECT_EQ(82u, ReadFileBytes(folder.File(kDiagnosticLogFileName)).size());
    EXPECT_EQ(81u, ReadFileBytes(folder.File(kDiagnosticLogOlderFileName)).size());
    WIN32_FIND_DATAW found{};
    int files = 0;
    HANDLE search = ::FindFirstFileW(folder.File(L"*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    EXPECT_EQ(2, files);
}

// Whichever lock a guard holds, a failure inside leaves it free for the next
// thread; shared holders let each other in and keep a writer out.
TEST(ScopedLock, AFailureWhileHeldLeavesTheLockFreeForOtherThreads) {
    CriticalSection section;
    SRWLOCK srw = SRWLOCK_INIT;
    const auto elsewhere = [](const std::function<bool()>& take) {
        bool taken = false;
        std::thread([&] { taken = take(); }).join();
        return taken;
    };
    const auto srwFree = [&] { return ScopedLock(srw, ScopedLock::Mode::TryExclusive).Held(); };
    for (int row = 0; row < 3; ++row) {
        try {
            std::optional<ScopedLock> hold;
            if (row == 0) hold.emplace(section);
            if (row > 0) hold.emplace(srw, row == 1 ? ScopedLock::Mode::Exclusive : ScopedLock::Mode::Shared);
            throw std::bad_alloc();
        } catch (const std::bad_alloc&) {
        }
        EXPECT_TRUE(elsewhere([&] {
            return ::TryEnterCriticalSection(&section.get()) &&
                   (::LeaveCriticalSection(&section.get()), true);
        })) << row;
        EXPECT_TRUE(elsewhere(srwFree)) << row;
    }
    ScopedLock shared(srw, ScopedLock::Mode::Shared);
    EXPECT_TRUE(
        elsewhere([&] { return ::TryAcquireSRWLockShared(&srw) && (::ReleaseSRWLockShared(&srw), true); }));
    EXPECT_FALSE(elsewhere(srwFree));
}
