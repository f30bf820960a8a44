// The update check against a loopback HTTP server: what each answer of the
// server makes of the check, the limits, failures at once, and closing a
// check while WinINet still works on it.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "support/DialogDriver.h"
#include "support/LocalHttpServer.h"
#include "support/TestSupport.h"
#include "system/SystemInfo.h"
#include "update/UpdateCheck.h"
#include "win/ModuleReference.h"

namespace {

using Lumo::Update::UpdateCheck;
using QuelvarTest::HttpAnswer;
using QuelvarTest::LocalHttpServer;

constexpr char kVersionPath[] = "/update/quelvar/version.xml";
constexpr char kHistoryPath[] = "/update/quelvar/history.txt";
// Short time-outs so a silent server fails within seconds.
constexpr Lumo::WinINet::Timeouts kTestTimeouts{1500, 1500, 1500};

std::string VersionXml(const std::string& latest, const std::string& page) {
    return "<?xml version=\"1.0\"?>\n<product name=\"Quelvar\">\n  <update>\n    <latest_version>" + latest +
           "</latest_version>\n    <download_page>" + page + "</download_page>\n  </update>\n</product>\n";
}

const std::string kGoodVersion = VersionXml("1.6.0.2", "https://www.example.org/quelvar/download.html");

// One check on the test's thread; completions are counted as they arrive.
struct Check {
    explicit Check(const std::wstring& baseUrl, Lumo::WinINet::Timeouts timeouts = kTestTimeouts)
        : check(std::make_unique<UpdateCheck>(L"Quelvar", L"1.5.1.3", baseUrl, timeouts)) {
        check->SetCompletion([this] {
            ++completions;
            completedOnThread = ::GetCurrentThreadId();
        });
        check->Session().Open();
    }
    // Starts a request and waits for its completion; false when none came.
    bool Run(void (Lumo::Update::CheckerSession::*request)(), DWORD timeoutMs = 10000) {
        const int before = completions;
        (check->Session().*request)();
        return QuelvarTest::WaitUntil([&] { return completions > before; }, timeoutMs);
    }
    bool Version() { return Run(&Lumo::Update::CheckerSession::RequestVersionInfo); }
    bool History() { return Run(&Lumo::Update::CheckerSession::RequestHistory); }

    std::unique_ptr<UpdateCheck> check;
    int completions = 0;
    DWORD completedOnThread = 0;
};

struct VersionCase {
    const char* name;
    HttpAnswer answer;
    bool succeeded;
    Lumo::Update::UpdateError kind;
    const wchar_t* latest;
    const wchar_t* page;
};

HttpAnswer Body(std::string body) { return HttpAnswer{200, std::move(body)}; }

class VersionAnswers : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionAnswers, EndInOneCompletionOnTheCallersThread) {
    const VersionCase& c = GetParam();
    LocalHttpServer server;
    server.Serve(kVersionPath, c.answer);
    Check check(server.UpdateBaseUrl());
    ASSERT_TRUE(check.Version()) << "no completion";
    const UpdateCheck& result = *check.check;
    EXPECT_EQ(check.completedOnThread, ::GetCurrentThreadId());
    EXPECT_EQ(result.Succeeded(), c.succeeded);
    if (!c.succeeded) {
        EXPECT_EQ(result.ErrorKind(), c.kind);
    }
    EXPECT_EQ(result.LatestVersion(), c.latest);
    EXPECT_EQ(result.DownloadPage(), c.page);
    EXPECT_EQ(server.Requests(kVersionPath), 1);
    // Nothing more arrives for the same request.
    QuelvarTest::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(check.completions, 1);
}

std::string Padded(std::size_t size) {
    std::string xml = kGoodVersion + "<!--";
    xml.resize(size - 3, 'x');
    return xml + "-->";
}

const std::wstring kGoodPage = L"https://www.example.org/quelvar/download.html";
using Lumo::Update::ErrorHttpStatus;
using Lumo::Update::ErrorUnknown;

INSTANTIATE_TEST_SUITE_P(
    Server, VersionAnswers,
    ::testing::Values(
        VersionCase{"Good", Body(kGoodVersion), true, ErrorUnknown, L"1.6.0.2", kGoodPage.c_str()},
        VersionCase{"NotFound", HttpAnswer{404, "<html>gone</html>"}, false, ErrorHttpStatus, L"", L""},
        VersionCase{"ServerError", HttpAnswer{500, kGoodVersion}, false, ErrorHttpStatus, L"", L""},
        VersionCase{"Malformed", Body("<product><update><latest_version>1.6</update>"), false, ErrorUnknown,
                    L"", L""},
        VersionCase{"NoUpdateElement", Body("<product><latest_version>1.6</latest_version></product>"), false,
                    ErrorUnknown, L"", L""},
        VersionCase{"EmptyLatest", Body(VersionXml("", "https://www.example.org/")), false, ErrorUnknown, L"",
                    L"https://www.example.org/"},
        VersionCase{"CommentBeforeVersion",
                    Body(VersionXml("<!-- next -->1.6.0.2", "https://www.example.org/")), false, ErrorUnknown,
                    L"", L"https://www.example.org/"},
        VersionCase{"NoDownloadPage",
                    Body("<product><update><latest_version>1.6.0.2</latest_version></update></product>"),
                    false, ErrorUnknown, L"1.6.0.2", L""},
        VersionCase{"FileUrl", Body(VersionXml("1.6.0.2", "file:///C:/Windows/System32/calc.exe")), false,
                    ErrorUnknown, L"", L""},
        VersionCase{"UncPath", Body(VersionXml("1.6.0.2", "\\\\attacker\\share\\setup.exe")), false,
                    ErrorUnknown, L"", L""},
        VersionCase{"RelativePath", Body(VersionXml("1.6.0.2", "download/setup.exe")), false, ErrorUnknown,
                    L"", L""},
        VersionCase{"Script", Body(VersionXml("1.6.0.2", "javascript:alert(1)")), false, ErrorUnknown, L"",
                    L""},
        VersionCase{"ProgramName", Body(VersionXml("1.6.0.2", "calc.exe")), false, ErrorUnknown, L"", L""},
        VersionCase{"SchemeWithoutHost", Body(VersionXml("1.6.0.2", "http:calc.exe")), false, ErrorUnknown,
                    L"", L""},
        VersionCase{"AtTheLimit", Body(Padded(Lumo::Update::kMaxVersionInfoSize)), true, ErrorUnknown,
                    L"1.6.0.2", kGoodPage.c_str()},
        VersionCase{"OverTheLimit", Body(Padded(Lumo::Update::kMaxVersionInfoSize + 1)), false, ErrorUnknown,
                    L"", L""},
        VersionCase{"OverTheLimitUnannounced",
                    HttpAnswer{200, Padded(Lumo::Update::kMaxVersionInfoSize + 1), HttpAnswer::NoLength},
                    false, ErrorUnknown, L"", L""},
        VersionCase{"InSmallPieces", HttpAnswer{200, kGoodVersion, HttpAnswer::Pieces, 0, 7, 5}, true,
                    ErrorUnknown, L"1.6.0.2", kGoodPage.c_str()}),
    [](const auto& info) { return std::string(info.param.name); });

// Failures of the connection itself: the kind carries the WinINet code.
struct BrokenCase {
    const char* name;
    HttpAnswer answer;
};

class BrokenServers : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenServers, FailWithinTheTimeOut) {
    LocalHttpServer server;
    server.Serve(kVersionPath, GetParam().answer);
    Check check(server.UpdateBaseUrl());
    const ULONGLONG start = ::GetTickCount64();
    ASSERT_TRUE(check.Version());
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_FALSE(check.check->Succeeded());
    EXPECT_NE(check.check->ErrorKind(), ErrorUnknown);
    EXPECT_NE(check.check->ErrorCode(), 0u);
    EXPECT_LT(elapsed, 8000u);
    std::printf("%s: code %lu after %llu ms\n", GetParam().name, check.check->ErrorCode(), elapsed);
}

INSTANTIATE_TEST_SUITE_P(Server, BrokenServers,
                         ::testing::Values(BrokenCase{"NeverAnswers", HttpAnswer{200, "", HttpAnswer::Stall}},
                                           BrokenCase{"ClosesEarly",
                                                      HttpAnswer{200, kGoodVersion, HttpAnswer::CloseEarly}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheck, ReadsHistoryAfterVersionAndRequestsTheProductsPaths) {
    LocalHttpServer server;
    const std::string history = "\xEF\xBB\xBFQuelvar 1.6.0.2\r\n- caf\xC3\xA9 \xE2\x82\xAC\r\n";
    server.Serve(kVersionPath, Body(kGoodVersion));
    server.Serve(kHistoryPath, HttpAnswer{200, history, HttpAnswer::Pieces, 0, 5, 2});
    Check check(server.UpdateBaseUrl());
    ASSERT_TRUE(check.Version());
    ASSERT_TRUE(check.check->Succeeded());
    ASSERT_TRUE(check.History());
    EXPECT_TRUE(check.check->Succeeded());
    EXPECT_EQ(check.check->HistoryBody(), history);
    EXPECT_EQ(check.check->VersionBody(), kGoodVersion);
    EXPECT_EQ(server.Requests(kHistoryPath), 1);
}

TEST(UpdateCheck, ReadsTheFilesThisReleasePublishes) {
    const std::wstring site = QuelvarTest::ProgramFolder() + L"site\\update\\quelvar\\";
    const std::string version = QuelvarTest::ReadFileBytes(site + L"version.xml");
    const std::string history = QuelvarTest::ReadFileBytes(site + L"history.txt");
    LocalHttpServer server;
    server.Serve(kVersionPath, Body(version));
    server.Serve(kHistoryPath, Body(history));
    Check check(server.UpdateBaseUrl());
    ASSERT_TRUE(check.Version());
    EXPECT_TRUE(check.check->Succeeded());
    EXPECT_EQ(check.check->LatestVersion(), Lumo::System::ProductVersion());
    ASSERT_TRUE(check.History());
    EXPECT_EQ(check.check->HistoryBody(), history);
    EXPECT_EQ(history.substr(0, 3), "\xEF\xBB\xBF");
}

TEST(UpdateCheck, HistoryFailuresAreFailuresNotEmptyHistories) {
    struct {
        const char* name;
        HttpAnswer answer;
    } const cases[] = {
        {"404", HttpAnswer{404, "gone"}},
        {"over 1 MiB", Body(std::string(Lumo::Update::kMaxHistorySize + 1, 'h'))},
        {"over 1 MiB unannounced",
         HttpAnswer{200, std::string(Lumo::Update::kMaxHistorySize + 1, 'h'), HttpAnswer::NoLength}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalHttpServer server;
        server.Serve(kVersionPath, Body(kGoodVersion));
        server.Serve(kHistoryPath, c.answer);
        Check check(server.UpdateBaseUrl());
        ASSERT_TRUE(check.Version());
        ASSERT_TRUE(check.History());
        EXPECT_FALSE(check.check->Succeeded());
        EXPECT_EQ(check.check->LatestVersion(), L"1.6.0.2");
    }
    LocalHttpServer server;  // exactly the limit is still a history
    server.Serve(kHistoryPath, Body(std::string(Lumo::Update::kMaxHistorySize, 'h')));
    Check check(server.UpdateBaseUrl());
    ASSERT_TRUE(check.History());
    EXPECT_TRUE(check.check->Succeeded());
    EXPECT_EQ(check.check->HistoryBody().size(), Lumo::Update::kMaxHistorySize);
}

TEST(UpdateCheck, FailuresAtOnceStillComplete) {
    const std::wstring refused =
        L"http://127.0.0.1:" + std::to_wstring(LocalHttpServer::UnusedPort()) + L"/update/";
    const std::wstring bases[] = {refused, L"gopherx://127.0.0.1/update/"};
    for (const std::wstring& base : bases) {
        SCOPED_TRACE(std::string(base.begin(), base.end()));
        Check check(base);
        ASSERT_TRUE(check.Version());
        EXPECT_FALSE(check.check->Succeeded());
        EXPECT_TRUE(check.check->ErrorKind() == Lumo::Update::ErrorWithDescription ||
                    check.check->ErrorKind() == Lumo::Update::ErrorNoDescription);
        EXPECT_NE(check.check->ErrorCode(), 0u);
        EXPECT_EQ(check.completedOnThread, ::GetCurrentThreadId());
        std::printf("code %lu: %ls\n", check.check->ErrorCode(), check.check->FailureMessage().c_str());
    }
}

TEST(UpdateCheck, AReleaseAsksItsHomeServerOverHttps) {
    UpdateCheck check(L"Quelvar", L"1.5.1.3");
    int completions = 0;
    check.SetCompletion([&completions] { ++completions; });
    check.Session().RequestVersionInfo();  // not opened: fails at once, still completes
    EXPECT_TRUE(QuelvarTest::WaitUntil([&] { return completions == 1; }, 2000));
    const std::wstring url = check.Session().CurrentUrl();
    EXPECT_EQ(url, std::wstring(Lumo::Update::kDefaultUpdateBaseUrl) + L"quelvar/version.xml");
    EXPECT_EQ(url.rfind(L"https://", 0), 0u);
    EXPECT_NE(url.find(L"/update/quelvar/version.xml"), std::wstring::npos);
}

TEST(UpdateCheck, FailureTexts) {
    LocalHttpServer server;
    Check check(server.UpdateBaseUrl());
    ASSERT_TRUE(check.Version());  // nothing served: 404
    EXPECT_EQ(check.check->FailureMessage(), L"Cannot get update info file.");
}

// Closing checks while WinINet works on them: no completion afterwards, and
// every context and module reference goes once WinINet is done.
TEST(UpdateCheck, ClosingInFlightLeavesNothingBehind) {
    LocalHttpServer server;
    server.Serve(kVersionPath, HttpAnswer{200, kGoodVersion, HttpAnswer::Whole, 300});
    server.Serve(kHistoryPath, HttpAnswer{200, std::string(200000, 'h'), HttpAnswer::Pieces, 0, 1000, 1});
    const LONG references = Lumo::Win::ModuleReference::Count();
    int late = 0;
    for (int round = 0; round < 50; ++round) {
        {
            Check check(server.UpdateBaseUrl());
            check.check->SetCompletion([&late] { ++late; });
            if (round % 2) {
                check.check->Session().RequestHistory();
            } else {
                check.check->Session().RequestVersionInfo();
            }
            ::Sleep(static_cast<DWORD>(round % 5) * 7);
        }
        QuelvarTest::WaitUntil([] { return false; }, 5);
    }
    EXPECT_TRUE(QuelvarTest::WaitUntil([] { return Lumo::WinINet::LiveContextCount() == 0; }, 10000))
        << Lumo::WinINet::LiveContextCount() << " contexts still live";
    EXPECT_EQ(Lumo::Win::ModuleReference::Count(), references);
    QuelvarTest::WaitUntil([] { return false; }, 300);
    EXPECT_EQ(late, 0);
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
        {L"calc.exe", false},
        {L"javascript:alert(1)", false},
        {L"mailto:someone@example.org", false},
        {L"https://", false},
        {L" https://www.example.org/", false},
        {L"https://www.example.org/ calc.exe", false},
        {L"http:\\\\server\\share", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Lumo::Update::IsAcceptableDownloadPage(c.url), c.accepted)
            << std::wstring(c.url).size() << " " << std::string(c.url, c.url + wcslen(c.url));
    }
}

}  // namespace
