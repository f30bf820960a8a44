// The Update page's checking, driven through a page window with the page's
// control ids against a loopback HTTP server: what the user sees after each
// kind of answer, the dots while waiting, a second try, the download link,
// the stored history, and closing the page mid-request.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "options/UpdateChecking.h"
#include "support/DialogDriver.h"
#include "support/LocalHttpServer.h"
#include "support/MessageBoxDriver.h"
#include "support/TestSupport.h"
#include "update/WinINetSession.h"
#include "win/ModuleReference.h"

namespace {

using QuelvarTest::HttpAnswer;
using QuelvarTest::LocalHttpServer;

constexpr char kVersionPath[] = "/update/quelvar/version.xml";
constexpr char kHistoryPath[] = "/update/quelvar/history.txt";
constexpr int kStatus = 1003, kCheckLink = 1004, kDownloadLink = 1005, kHistory = 1007;

const std::string kGoodVersion =
    "<?xml version=\"1.0\"?><product><update><latest_version>1.6.0.2</latest_version>"
    "<download_page>https://www.example.org/quelvar/download.html</download_page></update></product>";
// UTF-8 with a byte-order mark, LF and CRLF line ends.
const std::string kHistoryBytes = "\xEF\xBB\xBFQuelvar 1.6.0.2\n- caf\xC3\xA9 \xE2\x82\xAC\r\n- fixes\r\n";
const std::wstring kHistoryShown = L"Quelvar 1.6.0.2\r\n- caf\u00e9 \u20ac\r\n- fixes";
const wchar_t kInitialHistory[] = L"old history";

// A window with the page's controls, forwarding what the page forwards.
class PageWindow {
public:
    explicit PageWindow(Options::UpdateCheckingSettings settings) {
        static const ATOM atom = [] {
            WNDCLASSEXW wc{sizeof(wc)};
            wc.lpfnWndProc = &PageWindow::Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"QuelvarTestUpdatePage";
            return ::RegisterClassExW(&wc);
        }();
        (void)atom;
        window_ = ::CreateWindowExW(0, L"QuelvarTestUpdatePage", L"Update", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                    300, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
        const auto child = [this](const wchar_t* cls, const wchar_t* text, int id, DWORD style) {
            ::CreateWindowExW(0, cls, text, WS_CHILD | style, 0, 0, 100, 16, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        };
        child(L"STATIC", L"[Unknown]", kStatus, WS_VISIBLE);
        child(L"BUTTON", L"Check for Update", kCheckLink, WS_VISIBLE);
        child(L"BUTTON", L"Goto Download Page", kDownloadLink, 0);
        child(L"EDIT", kInitialHistory, kHistory, WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_VSCROLL);
        ::ShowWindow(window_, SW_SHOWNOACTIVATE);
        view_ = std::make_unique<Options::DialogUpdatePageView>(window_);
        checking_ = std::make_unique<Options::UpdateChecking>(*view_, std::move(settings));
    }
    ~PageWindow() {
        if (window_) ::DestroyWindow(window_);
    }
    QuelvarTest::DialogDriver Driver() const { return QuelvarTest::DialogDriver(window_); }
    // A click on a link sends its command to the page.
    void Click(int id) const { ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    void Close() { ::DestroyWindow(std::exchange(window_, nullptr)); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            ::SetWindowLongPtrW(
                window, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        }
        auto* page = reinterpret_cast<PageWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (page && page->checking_) {
            if (message == WM_COMMAND && LOWORD(wParam) == kCheckLink) page->checking_->CheckForUpdate();
            if (message == WM_COMMAND && LOWORD(wParam) == kDownloadLink) page->checking_->OpenDownloadPage();
            if (message == WM_TIMER && wParam == Options::UpdateChecking::kTimerId)
                page->checking_->AnimationStep();
            if (message == WM_DESTROY) page->checking_->Abort();
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_ = nullptr;
    std::unique_ptr<Options::DialogUpdatePageView> view_;
    std::unique_ptr<Options::UpdateChecking> checking_;
};

class UpdatePageChecking : public ::testing::Test {
protected:
    void SetUp() override {
        center_ = std::make_unique<DataCenter>(temp_.Path());
        DataCenter::SetInstance(center_.get());
    }
    void TearDown() override { DataCenter::SetInstance(nullptr); }

    Options::UpdateCheckingSettings Settings() {
        Options::UpdateCheckingSettings settings;
        settings.baseUrl = server_.UpdateBaseUrl();
        settings.timeouts = {1500, 1500, 1500};
        settings.openUrl = [this](HWND, const std::wstring& url) { launched_.push_back(url); };
        return settings;
    }
    // Waits until the page leaves "Checking" and, after a success, the history request ends.
    static bool WaitForEnd(const QuelvarTest::DialogDriver& page) {
        return QuelvarTest::WaitUntil(
            [&] {
                const std::wstring status = page.Text(kStatus);
                const std::wstring history = page.Text(kHistory);
                return status.rfind(L"Checking", 0) != 0 && history != L"Getting history info...";
            },
            10000);
    }

    QuelvarTest::TempFolder temp_;
    std::unique_ptr<DataCenter> center_;
    LocalHttpServer server_;
    QuelvarTest::MessageBoxDriver boxes_;
    std::vector<std::wstring> launched_;
};

struct PageCase {
    const char* name;
    HttpAnswer version;
    HttpAnswer history;
    const wchar_t* status;
    const wchar_t* message;  // the failure box's text, or null when none shows
    bool downloadLink;
    const wchar_t* history_shown;
};

class UpdatePageAnswers : public UpdatePageChecking, public ::testing::WithParamInterface<PageCase> {};

TEST_P(UpdatePageAnswers, ShowWhatTheServerSaid) {
    const PageCase& c = GetParam();
    server_.Serve(kVersionPath, c.version);
    server_.Serve(kHistoryPath, c.history);
    PageWindow window(Settings());
    const QuelvarTest::DialogDriver page = window.Driver();
    window.Click(kCheckLink);
    ASSERT_TRUE(WaitForEnd(page)) << "still " << page.Text(kStatus).size();
    EXPECT_EQ(page.Text(kStatus), c.status);
    EXPECT_EQ(page.Visible(kDownloadLink), c.downloadLink);
    EXPECT_EQ(page.Enabled(kCheckLink), c.message != nullptr)
        << "the link is enabled again only after a failure";
    EXPECT_EQ(page.Text(kHistory), c.history_shown);
    if (c.message) {
        ASSERT_EQ(boxes_.Seen().size(), 1u);
        EXPECT_EQ(boxes_.Seen()[0].caption, L"Failed");
        EXPECT_EQ(boxes_.Seen()[0].text.rfind(c.message, 0), 0u) << "got a different message";
        EXPECT_EQ(boxes_.Seen()[0].buttons, std::vector<std::wstring>{L"OK"});
    } else {
        EXPECT_TRUE(boxes_.Seen().empty());
    }
    // Whatever it said, only an accepted address is ever opened.
    window.Click(kDownloadLink);
    EXPECT_EQ(launched_.size(), c.downloadLink ? 1u : 0u);
    if (c.downloadLink) {
        EXPECT_EQ(launched_[0], L"https://www.example.org/quelvar/download.html");
    }
}

HttpAnswer Body(std::string body) { return HttpAnswer{200, std::move(body)}; }
HttpAnswer NotFound() { return HttpAnswer{404, "gone"}; }

INSTANTIATE_TEST_SUITE_P(
    Server, UpdatePageAnswers,
    ::testing::Values(
        PageCase{"Good", Body(kGoodVersion), Body(kHistoryBytes), L"1.6.0.2", nullptr, true,
                 kHistoryShown.c_str()},
        PageCase{"VersionNotFound", NotFound(), Body(kHistoryBytes), L"[Failed]",
                 L"Cannot get update info file.", false, kInitialHistory},
        PageCase{"HistoryNotFound", Body(kGoodVersion), NotFound(), L"1.6.0.2", nullptr, true,
                 L"Get history info failed. Please try again later."},
        PageCase{"HistoryTooLarge", Body(kGoodVersion), Body(std::string((1 << 20) + 1, 'h')), L"1.6.0.2",
                 nullptr, true, L"Get history info failed. Please try again later."},
        PageCase{
            "EmptyLatestVersion",
            Body("<product><update><latest_version></latest_version><download_page>https://www.example.org/"
                 "</download_page></update></product>"),
            Body(kHistoryBytes), L"[Failed]", L"Unknown reason", false, kInitialHistory},
        PageCase{
            "FileDownloadPage",
            Body("<product><update><latest_version>1.6.0.2</latest_version><download_page>file:///C:/Windows/"
                 "System32/calc.exe</download_page></update></product>"),
            Body(kHistoryBytes), L"[Failed]", L"Unknown reason", false, kInitialHistory},
        PageCase{"NeverAnswers", HttpAnswer{200, "", HttpAnswer::Stall}, Body(kHistoryBytes), L"[Failed]",
                 L"Cannot get update info file from internet", false, kInitialHistory}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdatePageChecking, StoresTheDownloadedHistoryAsIs) {
    server_.Serve(kVersionPath, Body(kGoodVersion));
    server_.Serve(kHistoryPath, Body(kHistoryBytes));
    PageWindow window(Settings());
    window.Click(kCheckLink);
    ASSERT_TRUE(WaitForEnd(window.Driver()));
    EXPECT_EQ(QuelvarTest::ReadFileBytes(temp_.File(L"history.txt")), kHistoryBytes);
    EXPECT_FALSE(Data::PathExists(temp_.File(L"history.txt.tmp")));
    // The next page shows it from the data folder.
    EXPECT_EQ(Options::ReadInitialHistory().value_or(L"?"), kHistoryShown);
}

TEST_F(UpdatePageChecking, DotsCountOncePerSecondWhileTheServerHoldsTheAnswer) {
    server_.Serve(kVersionPath, HttpAnswer{200, kGoodVersion, HttpAnswer::Whole, 3600});
    server_.Serve(kHistoryPath, Body(kHistoryBytes));
    Options::UpdateCheckingSettings patient = Settings();
    patient.timeouts = {10000, 10000, 10000};
    PageWindow window(std::move(patient));
    const QuelvarTest::DialogDriver page = window.Driver();
    window.Click(kCheckLink);
    std::vector<std::wstring> shown{page.Text(kStatus)};
    EXPECT_FALSE(page.Enabled(kCheckLink));
    const ULONGLONG start = ::GetTickCount64();
    std::vector<ULONGLONG> at{0};
    QuelvarTest::WaitUntil(
        [&] {
            const std::wstring now = page.Text(kStatus);
            if (now != shown.back()) {
                shown.push_back(now);
                at.push_back(::GetTickCount64() - start);
            }
            return now == L"1.6.0.2";
        },
        10000);
    const std::vector<std::wstring> expected{L"Checking...", L"Checking", L"Checking.", L"Checking..",
                                             L"1.6.0.2"};
    EXPECT_EQ(shown, expected);
    if (at.size() == 5) {
        for (int step = 1; step <= 3; ++step) {
            EXPECT_NEAR(static_cast<double>(at[step]), step * 1000.0, 400.0) << "step " << step;
        }
    }
}

TEST_F(UpdatePageChecking, ASecondClickAfterAFailureStartsAFreshCheck) {
    PageWindow window(Settings());
    const QuelvarTest::DialogDriver page = window.Driver();
    window.Click(kCheckLink);  // nothing served yet: 404
    ASSERT_TRUE(WaitForEnd(page));
    EXPECT_EQ(page.Text(kStatus), L"[Failed]");
    server_.Serve(kVersionPath, Body(kGoodVersion));
    server_.Serve(kHistoryPath, Body(kHistoryBytes));
    ASSERT_TRUE(page.Enabled(kCheckLink));
    window.Click(kCheckLink);
    ASSERT_TRUE(WaitForEnd(page));
    EXPECT_EQ(page.Text(kStatus), L"1.6.0.2");
    EXPECT_EQ(page.Text(kHistory), kHistoryShown);
    EXPECT_EQ(server_.Requests(kVersionPath), 2);
    EXPECT_EQ(boxes_.Seen().size(), 1u);
}

TEST_F(UpdatePageChecking, ClosingThePageMidRequestFiftyTimes) {
    server_.Serve(kVersionPath, HttpAnswer{200, kGoodVersion, HttpAnswer::Whole, 200});
    server_.Serve(kHistoryPath, HttpAnswer{200, kHistoryBytes, HttpAnswer::Pieces, 0, 4, 20});
    const LONG references = Lumo::Win::ModuleReference::Count();
    for (int round = 0; round < 50; ++round) {
        PageWindow window(Settings());
        window.Click(kCheckLink);
        // Sometimes while opening, sometimes while the history trickles in.
        const QuelvarTest::DialogDriver page = window.Driver();
        if (round % 2) QuelvarTest::WaitUntil([&] { return page.Text(kStatus) == L"1.6.0.2"; }, 3000);
        QuelvarTest::WaitUntil([] { return false; }, static_cast<DWORD>(round % 7) * 10);
        window.Close();
        EXPECT_EQ(page.Text(kStatus), L"") << "the page is gone";
    }
    EXPECT_TRUE(QuelvarTest::WaitUntil([] { return Lumo::WinINet::LiveContextCount() == 0; }, 15000))
        << Lumo::WinINet::LiveContextCount() << " contexts left";
    EXPECT_EQ(Lumo::Win::ModuleReference::Count(), references);
    EXPECT_TRUE(boxes_.Seen().empty());
}

TEST(HistoryText, ByteOrderMarksAndLineEnds) {
    QuelvarTest::TempFolder temp;
    const struct {
        const char* name;
        std::string bytes;
        const wchar_t* text;
    } cases[] = {
        {"UTF-16 LE",
         std::string("\xFF\xFE"
                     "a\0\xE9\0\r\0\n\0b\0",
                     12),
         L"a\u00e9\r\nb"},
        {"UTF-16 BE", std::string("\xFE\xFF\0a\0\xE9\0\n\0b", 10), L"a\u00e9\r\nb"},
        {"UTF-8",
         "\xEF\xBB\xBF"
         "a\xC3\xA9\nb\n",
         L"a\u00e9\r\nb"},
        {"ANSI", "a\xE9\r\nb", L"a\u00e9\r\nb"},
        {"empty lines kept", "a\n\nb", L"a\r\n\r\nb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuelvarTest::WriteFileBytes(temp.File(L"h.txt"), c.bytes);
        EXPECT_EQ(Options::ReadTextFile(temp.File(L"h.txt"), L"\r\n").value_or(L"?"), c.text);
    }
    EXPECT_FALSE(Options::ReadTextFile(temp.File(L"missing.txt"), L"\r\n").has_value());
}

TEST(HistoryText, TheInstalledHistoryWhenTheDataFolderHasNone) {
    QuelvarTest::TempFolder data, install;
    DataCenter center(data.Path());
    center.SetInstallFolder(install.File(L"Quelvar.dll"));
    DataCenter::SetInstance(&center);
    EXPECT_FALSE(Options::ReadInitialHistory().has_value());
    QuelvarTest::WriteFileBytes(install.File(L"History.txt"), "installed\r\n");
    EXPECT_EQ(Options::ReadInitialHistory().value_or(L"?"), L"installed");
    QuelvarTest::WriteFileBytes(data.File(L"History.txt"), "downloaded\r\n");
    EXPECT_EQ(Options::ReadInitialHistory().value_or(L"?"), L"downloaded");
    DataCenter::SetInstance(nullptr);
}

}  // namespace
