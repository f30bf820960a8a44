// The update check below the page: failures at once still complete on the
// caller's thread, a release asks its own server, the published files read
// back, and which download page addresses may be opened. What each answer of
// a server shows on the page is tested with the page.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <string>

#include "support/DialogDriver.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "system/SystemInfo.h"
#include "update/UpdateCheck.h"

namespace {

using Lumo::Update::UpdateCheck;
using QuelvarTest::LocalHttpServer;

// Runs one request and waits for its completion on this thread.
bool Completes(UpdateCheck& check, void (Lumo::Update::CheckerSession::*request)(), DWORD* thread = nullptr) {
    bool done = false;
    check.SetCompletion([&] {
        done = true;
        if (thread) *thread = ::GetCurrentThreadId();
    });
    (check.Session().*request)();
    return QuelvarTest::WaitUntil([&] { return done; }, 10000);
}

TEST(UpdateCheck, FailuresAtOnceStillCompleteOnTheCallersThread) {
    const struct {
        std::wstring base;
        DWORD code;  // described by WinINet's own message table
    } cases[] = {
        {L"http://127.0.0.1:" + std::to_wstring(LocalHttpServer::UnusedPort()) + L"/update/",
         ERROR_INTERNET_CANNOT_CONNECT},
        {L"gopherx://127.0.0.1/update/", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.base.begin(), c.base.end()));
        UpdateCheck check(L"Quelvar", L"1.5.1.3", c.base);
        check.Session().Open();
        DWORD thread = 0;
        ASSERT_TRUE(Completes(check, &Lumo::Update::CheckerSession::RequestVersionInfo, &thread));
        EXPECT_EQ(thread, ::GetCurrentThreadId());
        EXPECT_FALSE(check.Succeeded());
        EXPECT_EQ(check.ErrorKind(), Lumo::Update::ErrorWithDescription);
        EXPECT_EQ(check.ErrorCode(), c.code);
        EXPECT_FALSE(check.ErrorDescription().empty());
        EXPECT_TRUE(Lumo::Update::CompletionBridge::ClassRegistered());
    }
    // The bridges' window class goes with the last bridge, so no class of
    // this module outlives it.
    EXPECT_FALSE(Lumo::Update::CompletionBridge::ClassRegistered());
}

TEST(UpdateCheck, AReleaseAsksItsHomeServerOverHttps) {
    UpdateCheck check(L"Quelvar", L"1.5.1.3");
    // Not opened: fails at once, still completes.
    ASSERT_TRUE(Completes(check, &Lumo::Update::CheckerSession::RequestVersionInfo));
    const std::wstring url = check.Session().CurrentUrl();
    EXPECT_EQ(url, std::wstring(Lumo::Update::kDefaultUpdateBaseUrl) + L"quelvar/version.xml");
    EXPECT_EQ(url.rfind(L"https://", 0), 0u);
    EXPECT_NE(url.find(L"/update/quelvar/version.xml"), std::wstring::npos);
}

TEST(UpdateCheck, ReadsTheFilesThisReleasePublishes) {
    const std::wstring site = QuelvarTest::ProgramFolder() + L"site\\update\\quelvar\\";
    const std::string version = QuelvarTest::ReadFileBytes(site + L"version.xml");
    const std::string history = QuelvarTest::ReadFileBytes(site + L"history.txt");
    LocalHttpServer server;
    server.Serve("/update/quelvar/version.xml", {200, version});
    server.Serve("/update/quelvar/history.txt", {200, history});
    UpdateCheck check(L"Quelvar", L"1.5.1.3", server.UpdateBaseUrl());
    check.Session().Open();
    ASSERT_TRUE(Completes(check, &Lumo::Update::CheckerSession::RequestVersionInfo));
    EXPECT_TRUE(check.Succeeded());
    EXPECT_EQ(check.LatestVersion(), Lumo::System::ProductVersion());
    ASSERT_TRUE(Completes(check, &Lumo::Update::CheckerSession::RequestHistory));
    EXPECT_EQ(check.HistoryBody(), history);
    EXPECT_EQ(history.substr(0, 3), "\xEF\xBB\xBF");
}

TEST(DownloadPage, OnlyAbsoluteWebAddressesAreAccepted) {
    const struct {
        const wchar_t* url;
        bool accepted;
    } cases[] = {
        {L"https://www.example.org/quelvar/", true},
        {L"http://www.example.org:8080/download?x=1", true},
        {L"HTTPS://WWW.EXAMPLE.ORG/", true},
        {L"file:///C:/Windows/System32/calc.exe", false},
        {L"\\\\server\\share\\setup.exe", false},
        {L"//server/share/setup.exe", false},
        {L"C:\\Windows\\System32\\calc.exe", false},
        {L"download/setup.exe", false},
        {L"calc.exe", false},
        {L"javascript:alert(1)", false},
        {L"mailto:someone@example.org", false},
        {L"https://", false},
        {L"http:calc.exe", false},
        {L" https://www.example.org/", false},
        {L"https://www.example.org/ calc.exe", false},
        {L"http:\\\\server\\share", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Lumo::Update::IsAcceptableDownloadPage(c.url), c.accepted)
            << std::string(c.url, c.url + wcslen(c.url));
    }
}

}  // namespace
