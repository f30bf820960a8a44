// The Update page's checking, driven through a page window with the page's
// control ids against a loopback HTTP server: what the user sees after each
// kind of answer, the dots while waiting, a second try, the download link,
// the stored history, and closing the page mid-request.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DataCenter.h"
#include "data/DataFile.h"
#include "options/UpdatePage.h"
#include "update/UpdateCheck.h"
#include "support/DialogDriver.h"
#include "support/LocalHttpServer.h"
#include "support/MessageBoxDriver.h"
#include "support/Screenshot.h"
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

// The real Update page as a child of a plain window of the test's thread.
class PageWindow {
public:
    explicit PageWindow(Lumo::Options::UpdateCheckingSettings settings)
        : page_(std::make_unique<Lumo::Options::UpdatePage>(std::move(settings))) {
        host_.reset(::CreateWindowExW(0, L"STATIC", L"Update page host", WS_OVERLAPPED | WS_CAPTION, 0, 0,
                                      520, 420, nullptr, nullptr, nullptr, nullptr));
        window_ = page_->CreateChild(240, 180, host_.get());
        RECT client{};
        ::GetClientRect(host_.get(), &client);
        ::SetWindowPos(window_, nullptr, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        ::ShowWindow(host_.get(), SW_SHOWNOACTIVATE);
        ::ShowWindow(window_, SW_SHOW);
    }
    QuelvarTest::DialogDriver Driver() const { return QuelvarTest::DialogDriver(window_); }
    HWND Host() const { return host_.get(); }
    // A link in command mode tells the page as a button would.
    void Click(int id) const { ::SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    // The window goes first, as when the dialog closes; the object after it.
    void Close() { host_.reset(); }

private:
    std::unique_ptr<Lumo::Options::UpdatePage> page_;
    HWND window_ = nullptr;
    Lumo::Win::UniqueWindow host_;
};

class UpdatePageChecking : public ::testing::Test {
protected:
    void SetUp() override {
        center_ = std::make_unique<Lumo::Data::DataCenter>(temp_.Path());
        Lumo::Data::DataCenter::SetInstance(center_.get());
        QuelvarTest::WriteFileBytes(temp_.File(L"History.txt"), "old history\r\n");
    }
    void TearDown() override { Lumo::Data::DataCenter::SetInstance(nullptr); }

    Lumo::Options::UpdateCheckingSettings Settings() {
        Lumo::Options::UpdateCheckingSettings settings;
        settings.baseUrl = server_.UpdateBaseUrl();
        settings.timeouts = {1500, 1500, 1500};
        settings.deadlineMs = 4000;
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
    std::unique_ptr<Lumo::Data::DataCenter> center_;
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
    const wchar_t* history_shown;  // null: not compared
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
    if (c.history_shown) {
        EXPECT_EQ(page.Text(kHistory), c.history_shown);
    }
    EXPECT_EQ(server_.Requests(kVersionPath), 1);
    if (c.message) {
        ASSERT_EQ(boxes_.Seen().size(), 1u);
        EXPECT_EQ(boxes_.Seen()[0].caption, L"Failed");
        const std::wstring& text = boxes_.Seen()[0].text;
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << "got " << std::string(text.begin(), text.end());
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
std::string VersionXml(const std::string& latest, const std::string& page) {
    return "<product><update><latest_version>" + latest + "</latest_version><download_page>" + page +
           "</download_page></update></product>";
}
// kGoodVersion followed by a comment up to `size` bytes.
std::string Padded(std::size_t size) {
    std::string xml = kGoodVersion + "<!--";
    xml.resize(size - 3, 'x');
    return xml + "-->";
}
// `depth` levels of <a>, closed or left open.
std::string Nested(std::size_t depth, bool closed) {
    std::string xml;
    for (std::size_t i = 0; i < depth; ++i) xml += "<a>";
    xml += "x";
    for (std::size_t i = 0; closed && i < depth; ++i) xml += "</a>";
    return xml;
}
// The good answer with its elements nested `depth` levels deep in all.
std::string NestedVersion(std::size_t depth) {
    std::string xml = kGoodVersion;
    xml.insert(xml.find("</update>"), Nested(depth - 2, true));
    return xml;
}
// The good answer with `count` attributes on its update element.
std::string AttributedVersion(std::size_t count) {
    std::string attributes;
    for (std::size_t i = 0; i < count; ++i) attributes += " a" + std::to_string(i) + "=''";
    std::string xml = kGoodVersion;
    xml.insert(xml.find("<update") + 7, attributes);
    return xml;
}
// `size` bytes of short lines, as a long history has.
std::string Lines(std::size_t size) {
    std::string text;
    while (text.size() < size) text += "- a change of the release\r\n";
    text.resize(size);
    return text;
}
constexpr std::size_t kVersionLimit = Lumo::Update::kMaxVersionInfoSize,
                      kHistoryLimit = Lumo::Update::kMaxHistorySize;
const wchar_t kNoInfo[] = L"Cannot get update info file.";
const wchar_t kUnknown[] = L"Unknown reason";
// Failures with WinINet's own descriptions: any code (a stalled server's
// depends on the WinINet), and the codes the check reports itself.
const wchar_t kDescribed[] = L"Cannot get update info file from internet\r\nError code:";
const std::wstring kTimedOut = L"Cannot get update info file from internet\r\nError code:" +
                               std::to_wstring(ERROR_INTERNET_TIMEOUT) + L"\r\nError description:";
const std::wstring kTerminated = L"Cannot get update info file from internet\r\nError code:" +
                                 std::to_wstring(ERROR_INTERNET_CONNECTION_ABORTED) +
                                 L"\r\nError description:";
constexpr std::size_t kDepthLimit = Lumo::Update::kMaxVersionInfoDepth;
const wchar_t kNoHistory[] = L"Get history info failed. Please try again later.";
const HttpAnswer kHistory200 = Body(kHistoryBytes);

INSTANTIATE_TEST_SUITE_P(
    Server, UpdatePageAnswers,
    ::testing::Values(
        PageCase{"Good", Body(kGoodVersion), kHistory200, L"1.6.0.2", nullptr, true, kHistoryShown.c_str()},
        PageCase{"InSmallPieces", HttpAnswer{200, kGoodVersion, HttpAnswer::Pieces, 0, 7, 5},
                 HttpAnswer{200, kHistoryBytes, HttpAnswer::Pieces, 0, 3, 5}, L"1.6.0.2", nullptr, true,
                 kHistoryShown.c_str()},
        PageCase{"VersionAtTheLimit", Body(Padded(kVersionLimit)), kHistory200, L"1.6.0.2", nullptr, true,
                 kHistoryShown.c_str()},
        PageCase{"HistoryAtTheLimit", Body(kGoodVersion), Body(Lines(kHistoryLimit)), L"1.6.0.2", nullptr,
                 true, nullptr},
        PageCase{"VersionNotFound", NotFound(), kHistory200, L"[Failed]", kNoInfo, false, kInitialHistory},
        PageCase{"ServerError", HttpAnswer{500, kGoodVersion}, kHistory200, L"[Failed]", kNoInfo, false,
                 kInitialHistory},
        PageCase{"Malformed", Body("<product><update><latest_version>1.6</update>"), kHistory200, L"[Failed]",
                 kUnknown, false, kInitialHistory},
        PageCase{"NoUpdateElement", Body("<product><latest_version>1.6</latest_version></product>"),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"EmptyLatestVersion", Body(VersionXml("", "https://www.example.org/")), kHistory200,
                 L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"CommentBeforeVersion", Body(VersionXml("<!-- next -->1.6.0.2", "https://www.example.org/")),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"NoDownloadPage",
                 Body("<product><update><latest_version>1.6</latest_version></update></product>"),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"FileDownloadPage", Body(VersionXml("1.6.0.2", "file:///C:/Windows/System32/calc.exe")),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"UncDownloadPage", Body(VersionXml("1.6.0.2", "\\\\attacker\\share\\setup.exe")),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"ProgramDownloadPage", Body(VersionXml("1.6.0.2", "calc.exe")), kHistory200, L"[Failed]",
                 kUnknown, false, kInitialHistory},
        PageCase{"VersionOverTheLimit", Body(Padded(kVersionLimit + 1)), kHistory200, L"[Failed]", kUnknown,
                 false, kInitialHistory},
        PageCase{"VersionOverTheLimitUnannounced",
                 HttpAnswer{200, Padded(kVersionLimit + 1), HttpAnswer::NoLength}, kHistory200, L"[Failed]",
                 kUnknown, false, kInitialHistory},
        PageCase{"NeverAnswers", HttpAnswer{200, "", HttpAnswer::Stall}, kHistory200, L"[Failed]", kDescribed,
                 false, kInitialHistory},
        PageCase{"ClosesEarly", HttpAnswer{200, kGoodVersion, HttpAnswer::CloseEarly}, kHistory200,
                 L"[Failed]", kTerminated.c_str(), false, kInitialHistory},
        // A byte every 0.7 s keeps every receive within its time-out; the deadline ends it.
        PageCase{"Trickles", HttpAnswer{200, kGoodVersion, HttpAnswer::Pieces, 0, 1, 700}, kHistory200,
                 L"[Failed]", kTimedOut.c_str(), false, kInitialHistory},
        PageCase{"Nested6000", Body(Nested(6000, true)), kHistory200, L"[Failed]", kUnknown, false,
                 kInitialHistory},
        PageCase{"Nested21000", Body(Nested(21000, false)), kHistory200, L"[Failed]", kUnknown, false,
                 kInitialHistory},
        PageCase{"AtTheLargestDepth", Body(NestedVersion(kDepthLimit)), kHistory200, L"1.6.0.2", nullptr,
                 true, kHistoryShown.c_str()},
        PageCase{"MostAttributes", Body(AttributedVersion(Lumo::Update::kMaxVersionInfoAttributes)),
                 kHistory200, L"1.6.0.2", nullptr, true, kHistoryShown.c_str()},
        PageCase{"TooManyAttributes", Body(AttributedVersion(Lumo::Update::kMaxVersionInfoAttributes + 1)),
                 kHistory200, L"[Failed]", kUnknown, false, kInitialHistory},
        PageCase{"BeyondTheLargestDepth", Body(NestedVersion(kDepthLimit + 1)), kHistory200, L"[Failed]",
                 kUnknown, false, kInitialHistory},
        PageCase{"HistoryNotFound", Body(kGoodVersion), NotFound(), L"1.6.0.2", nullptr, true, kNoHistory},
        PageCase{"HistoryOverTheLimit", Body(kGoodVersion), Body(std::string(kHistoryLimit + 1, 'h')),
                 L"1.6.0.2", nullptr, true, kNoHistory},
        PageCase{"HistoryOverTheLimitUnannounced", Body(kGoodVersion),
                 HttpAnswer{200, std::string(kHistoryLimit + 1, 'h'), HttpAnswer::NoLength}, L"1.6.0.2",
                 nullptr, true, kNoHistory}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdatePageChecking, StoresTheDownloadedHistoryAsIs) {
    server_.Serve(kVersionPath, Body(kGoodVersion));
    server_.Serve(kHistoryPath, Body(kHistoryBytes));
    PageWindow window(Settings());
    window.Click(kCheckLink);
    ASSERT_TRUE(WaitForEnd(window.Driver()));
    EXPECT_EQ(window.Driver().Text(kHistory), kHistoryShown);
    QuelvarTest::WaitUntil([] { return false; }, 200);  // lets the page paint
    QuelvarTest::SaveWindowPng(window.Host(), QuelvarTest::ScreenshotFolder() + L"UpdatePageAfterCheck.png");
    EXPECT_EQ(QuelvarTest::ReadFileBytes(temp_.File(L"history.txt")), kHistoryBytes);
    EXPECT_FALSE(Lumo::Data::PathExists(temp_.File(L"history.txt.tmp")));
    // The next page shows it from the data folder.
    PageWindow next(Settings());
    EXPECT_EQ(next.Driver().Text(kHistory), kHistoryShown);

    // Without an application-data folder it is shown as it came and stored
    // nowhere, least of all in the current directory.
    Lumo::Data::DataCenter none(L"");
    Lumo::Data::DataCenter::SetInstance(&none);
    QuelvarTest::TempFolder current;
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(current.Path().c_str()));
    PageWindow homeless(Settings());
    EXPECT_EQ(homeless.Driver().Text(kHistory), L"");
    homeless.Click(kCheckLink);
    const bool ended = WaitForEnd(homeless.Driver());
    ::SetCurrentDirectoryW(previous);
    ASSERT_TRUE(ended);
    EXPECT_EQ(homeless.Driver().Text(kHistory), kHistoryShown);
    EXPECT_FALSE(Lumo::Data::PathExists(current.File(L"history.txt")));
    EXPECT_FALSE(Lumo::Data::PathExists(current.File(L"Quelvar")));
}

TEST_F(UpdatePageChecking, DotsCountOncePerSecondWhileTheServerHoldsTheAnswer) {
    server_.Serve(kVersionPath, HttpAnswer{200, kGoodVersion, HttpAnswer::Whole, 3600});
    server_.Serve(kHistoryPath, Body(kHistoryBytes));
    Lumo::Options::UpdateCheckingSettings patient = Settings();
    patient.timeouts = {10000, 10000, 10000};
    patient.deadlineMs = 20000;
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
    // Whatever WinINet may still report on keeps the module loaded meanwhile.
    const LONG held = Lumo::Win::ModuleReference::Count();
    const auto live = static_cast<LONG>(Lumo::WinINet::LiveContextCount());
    EXPECT_GE(held, references + live);
    std::printf("after 50 closed pages: %ld contexts still awaited by WinINet\n", live);
    EXPECT_TRUE(QuelvarTest::WaitUntil([] { return Lumo::WinINet::LiveContextCount() == 0; }, 15000))
        << Lumo::WinINet::LiveContextCount() << " contexts left";
    EXPECT_EQ(Lumo::Win::ModuleReference::Count(), references);
    EXPECT_TRUE(boxes_.Seen().empty());
}

}  // namespace
