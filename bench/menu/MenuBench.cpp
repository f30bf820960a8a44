// Times the handler's menu with 1,000 entries in the Quelvar submenu, driven
// through the test shell host: QueryContextMenu, opening the submenu (its
// filling), measuring and drawing every entry, and a real menu loop showing
// it. Peers measured in the same run: a minimal owner-drawn menu (one cached
// font, one DrawTextW per entry), measured and drawn alone and shown by the
// same kind of menu loop, and the system's own menu of 1,000 text entries
// shown by that loop.
// Build and run: cmake --build build -j2 --target MenuBench, then
// scripts/wine-run.sh build/bin/MenuBench.exe (repeat: the machine is shared).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../BenchClock.h"
#include "data/DataCenter.h"
#include "menu/MainMenu.h"
#include "shellext/GotoFavorite.h"
#include "shellext/MenuEngine.h"
#include "support/ShellHost.h"

using namespace Lumo::ShellExt;

using namespace QuelvarTest;

namespace {

// What the bench's handlers show: its own entries in the main submenu.
MenuDefinition& BenchMenu() {
    static MenuDefinition menu;
    return menu;
}

constexpr int kEntries = 1000;

class BenchItem : public OddBase {
public:
    explicit BenchItem(const std::wstring& label) : OddBase(KindFavorite, label.c_str(), 7, 0, kNoMnemonic) {}
};

std::wstring Label(int i) {
    wchar_t text[128];
    std::swprintf(text, 128, L"C:\\Users\\Someone\\Projects\\Customer %03d\\Folder number %04d", i % 37, i);
    return text;
}

// Best of `runs` (milliseconds) of `body`.
double Best(int runs, const std::function<void()>& body) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        double start = Bench::NowMs();
        body();
        best = std::min(best, Bench::NowMs() - start);
    }
    return best;
}

struct Phases {
    double query = 1e300, open = 1e300, measure = 1e300, draw = 1e300, total = 1e300;
    // The handler's own work, its item and draw functions called directly.
    double measureDirect = 1e300, drawDirect = 1e300;
    // The host's own path (finding the entry, sending the message, the
    // forwarding) for as many foreign owner-drawn entries the handler ignores.
    double measurePath = 1e300, drawPath = 1e300;
};

// One menu through the shell's message sequence, phase by phase.
void OneMenu(ShellHost& host, const std::wstring& folder, Phases& best, Canvas& canvas) {
    host.ResetMenu();
    double t0 = Bench::NowMs();
    host.CreateHandler(BenchMenu());
    host.InitializeBackground(folder);
    host.QueryContextMenu();
    double t1 = Bench::NowMs();
    HMENU main = host.OpenQuelvarSubmenu();
    double t2 = Bench::NowMs();
    const int count = ::GetMenuItemCount(main);
    std::vector<MEASUREITEMSTRUCT> sizes;
    sizes.reserve(count);
    for (int i = 0; i < count; ++i) sizes.push_back(host.Measure(main, i));
    double t3 = Bench::NowMs();
    for (int i = 0; i < count; ++i) {
        RECT rect{0, 0, static_cast<LONG>(std::max<UINT>(sizes[i].itemWidth, 1)),
                  static_cast<LONG>(std::max<UINT>(sizes[i].itemHeight, 1))};
        host.Draw(canvas, main, i, 0, rect);
    }
    double t4 = Bench::NowMs();

    std::vector<ShellHost::Entry> entries = host.Entries(main);
    double t5 = Bench::NowMs();
    for (int i = 0; i < count; ++i) {
        MEASUREITEMSTRUCT measure{ODT_MENU, entries[i].id, 0, 0, 0, entries[i].data};
        entries[i].item->MeasureItem(measure);
    }
    double t6 = Bench::NowMs();
    for (int i = 0; i < count; ++i) {
        DRAWITEMSTRUCT draw{ODT_MENU,   entries[i].id, 0, ODA_DRAWENTIRE, 0, reinterpret_cast<HWND>(main),
                            canvas.Dc()};
        draw.rcItem = RECT{0, 0, static_cast<LONG>(std::max<UINT>(sizes[i].itemWidth, 1)),
                           static_cast<LONG>(std::max<UINT>(sizes[i].itemHeight, 1))};
        draw.itemData = entries[i].data;
        ::SetTextColor(canvas.Dc(), ::GetSysColor(COLOR_MENUTEXT));
        ::SetBkColor(canvas.Dc(), ::GetSysColor(COLOR_MENU));
        host.Object()->OnDrawItem(draw, MenuEngine::IndexOf(entries[i].data));
    }
    double t7 = Bench::NowMs();
    Lumo::Win::UniqueMenu foreign(::CreatePopupMenu());
    for (int i = 0; i < count; ++i)
        ::AppendMenuW(foreign.get(), MF_OWNERDRAW, 1, reinterpret_cast<LPCWSTR>(i));
    double t8 = Bench::NowMs();
    for (int i = 0; i < count; ++i) host.Measure(foreign.get(), i);
    double t9 = Bench::NowMs();
    for (int i = 0; i < count; ++i) host.Draw(canvas, foreign.get(), i, 0, RECT{0, 0, 300, 20});
    double t10 = Bench::NowMs();
    best.measureDirect = std::min(best.measureDirect, t6 - t5);
    best.drawDirect = std::min(best.drawDirect, t7 - t6);
    best.measurePath = std::min(best.measurePath, t9 - t8);
    best.drawPath = std::min(best.drawPath, t10 - t9);
    host.CloseAll();
    host.ReleaseHandler();
    if (count != kEntries + 1) std::printf("unexpected entry count %d\n", count);
    best.query = std::min(best.query, t1 - t0);
    best.open = std::min(best.open, t2 - t1);
    best.measure = std::min(best.measure, t3 - t2);
    best.draw = std::min(best.draw, t4 - t3);
    best.total = std::min(best.total, t4 - t0);
}

// The floor: a plain owner-drawn menu of the same labels, measured and drawn
// with one cached font; best of 10 for each phase.
struct PeerTimes {
    double measure = 1e300, draw = 1e300;
};

PeerTimes MinimalOwnerDraw(const std::vector<std::wstring>& labels, Canvas& canvas) {
    PeerTimes best;
    for (int run = 0; run < 10; ++run) {
        Lumo::Win::UniqueMenu menu(::CreatePopupMenu());
        for (size_t i = 0; i < labels.size(); ++i) {
            ::AppendMenuW(menu.get(), MF_OWNERDRAW, 1, reinterpret_cast<LPCWSTR>(i));
        }
        Lumo::Win::UniqueGdiObject font = MenuFont();
        HGDIOBJ old = ::SelectObject(canvas.Dc(), font.get());
        std::vector<RECT> rects;
        rects.reserve(labels.size());
        double t0 = Bench::NowMs();
        for (const auto& label : labels) {
            SIZE size{};
            ::GetTextExtentPoint32W(canvas.Dc(), label.c_str(), static_cast<int>(label.size()), &size);
            rects.push_back(RECT{0, 0, std::min<LONG>(size.cx + size.cy + 3, 300), size.cy + 4});
        }
        double t1 = Bench::NowMs();
        for (size_t i = 0; i < labels.size(); ++i) {
            ::DrawTextW(canvas.Dc(), labels[i].c_str(), -1, &rects[i], DT_EXPANDTABS | DT_PATH_ELLIPSIS);
        }
        double t2 = Bench::NowMs();
        ::SelectObject(canvas.Dc(), old);
        best.measure = std::min(best.measure, t1 - t0);
        best.draw = std::min(best.draw, t2 - t1);
    }
    return best;
}

// The host window answering measuring and drawing of owner-drawn entries whose
// item data is a label index, with one cached font, for the scope.
class OwnerDrawnPeer {
public:
    OwnerDrawnPeer(HWND window, const std::vector<std::wstring>& labels)
        : window_(window), dc_(::CreateCompatibleDC(nullptr)), font_(MenuFont()) {
        labels_ = &labels;
        self_ = this;
        ::SelectObject(dc_.get(), font_.get());
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    ~OwnerDrawnPeer() {
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        self_ = nullptr;
        ::SelectObject(dc_.get(), ::GetStockObject(SYSTEM_FONT));
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        OwnerDrawnPeer* peer = self_;
        if (message == WM_MEASUREITEM) {
            auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
            if (measure->CtlType == ODT_MENU && measure->itemData < peer->labels_->size()) {
                const std::wstring& label = (*peer->labels_)[measure->itemData];
                SIZE size{};
                ::GetTextExtentPoint32W(peer->dc_.get(), label.c_str(), static_cast<int>(label.size()),
                                        &size);
                measure->itemWidth = std::min<UINT>(size.cx + size.cy + 3, 300);
                measure->itemHeight = size.cy + 4;
                return TRUE;
            }
        } else if (message == WM_DRAWITEM) {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            if (draw->CtlType == ODT_MENU && draw->itemData < peer->labels_->size()) {
                RECT box = draw->rcItem;
                box.left += 22;
                ::DrawTextW(draw->hDC, (*peer->labels_)[draw->itemData].c_str(), -1, &box,
                            DT_EXPANDTABS | DT_PATH_ELLIPSIS);
                return TRUE;
            }
        }
        return ::CallWindowProcW(peer->original_, window, message, wParam, lParam);
    }

    static inline OwnerDrawnPeer* self_ = nullptr;
    const std::vector<std::wstring>* labels_ = nullptr;
    HWND window_;
    Lumo::Win::UniqueDc dc_;
    Lumo::Win::UniqueGdiObject font_;
    WNDPROC original_ = nullptr;
};

// Sums, for the scope, the time the host window spends on the menu messages
// it hands to the handler (filling, measuring, drawing), by message.
class MessageClock {
public:
    explicit MessageClock(HWND window) : window_(window) {
        self_ = this;
        original_ = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Procedure)));
    }
    ~MessageClock() {
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
        self_ = nullptr;
    }
    double fill = 0, measure = 0, draw = 0;
    int measured = 0, drawn = 0;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        MessageClock* clock = self_;
        const double start = Bench::NowMs();
        LRESULT result = ::CallWindowProcW(clock->original_, window, message, wParam, lParam);
        const double spent = Bench::NowMs() - start;
        if (message == WM_INITMENUPOPUP) clock->fill += spent;
        if (message == WM_MEASUREITEM) clock->measure += spent, ++clock->measured;
        if (message == WM_DRAWITEM) clock->draw += spent, ++clock->drawn;
        return result;
    }

    static inline MessageClock* self_ = nullptr;
    HWND window_;
    WNDPROC original_ = nullptr;
};

int g_hookCalls = 0;
std::map<UINT, int> g_sentKinds, g_filteredKinds;

LRESULT CALLBACK CountingHook(int code, WPARAM wParam, LPARAM lParam) {
    ++g_hookCalls;
    if (code >= 0) ++g_sentKinds[reinterpret_cast<const CWPSTRUCT*>(lParam)->message];
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CountingFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) ++g_filteredKinds[reinterpret_cast<const MSG*>(lParam)->message];
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string KindName(UINT message) {
    switch (message) {
        case WM_MEASUREITEM:
            return "WM_MEASUREITEM";
        case WM_DRAWITEM:
            return "WM_DRAWITEM";
        case WM_INITMENUPOPUP:
            return "WM_INITMENUPOPUP";
        case WM_UNINITMENUPOPUP:
            return "WM_UNINITMENUPOPUP";
        case WM_MENUSELECT:
            return "WM_MENUSELECT";
        case WM_ENTERIDLE:
            return "WM_ENTERIDLE";
        case WM_TIMER:
            return "WM_TIMER";
        case WM_MOUSEMOVE:
            return "WM_MOUSEMOVE";
        case WM_KEYDOWN:
            return "WM_KEYDOWN";
        case WM_KEYUP:
            return "WM_KEYUP";
        case WM_PAINT:
            return "WM_PAINT";
        case WM_ERASEBKGND:
            return "WM_ERASEBKGND";
        case WM_NCPAINT:
            return "WM_NCPAINT";
        case WM_SETCURSOR:
            return "WM_SETCURSOR";
        case WM_NCHITTEST:
            return "WM_NCHITTEST";
        case WM_WINDOWPOSCHANGING:
            return "WM_WINDOWPOSCHANGING";
        case WM_WINDOWPOSCHANGED:
            return "WM_WINDOWPOSCHANGED";
        default: {
            char text[16];
            std::snprintf(text, sizeof(text), "0x%04X", message);
            return text;
        }
    }
}

void PrintKinds(const char* title, const std::map<UINT, int>& kinds) {
    std::vector<std::pair<int, UINT>> sorted;
    for (const auto& [message, count] : kinds) sorted.emplace_back(count, message);
    std::sort(sorted.rbegin(), sorted.rend());
    std::printf("  %s:", title);
    for (const auto& [count, message] : sorted) std::printf(" %s %d", KindName(message).c_str(), count);
    std::printf("\n");
}

// The three kinds of hook the handler puts on its thread, each doing nothing
// but passing the event on: what a minimal owner-drawn menu pays for carrying them.
class BareHooks {
public:
    BareHooks() {
        const DWORD thread = ::GetCurrentThreadId();
        cbt_.reset(::SetWindowsHookExW(WH_CBT, PassOn, nullptr, thread));
        callWndProc_.reset(::SetWindowsHookExW(WH_CALLWNDPROC, PassOn, nullptr, thread));
        msgFilter_.reset(::SetWindowsHookExW(WH_MSGFILTER, PassOn, nullptr, thread));
    }

private:
    static LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    Lumo::Win::UniqueHook cbt_, callWndProc_, msgFilter_;
};

LRESULT CALLBACK BareHook(int code, WPARAM wParam, LPARAM lParam) {
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int wmain() {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    try {
        EngineScope engine;
        const std::wstring folder = engine.DataFolder().substr(0, engine.DataFolder().size() - 1);
        std::vector<std::wstring> labels;
        for (int i = 0; i < kEntries; ++i) labels.push_back(Label(i));
        BenchMenu().mainSubmenu = [&labels](EntryList& builder) {
            builder.AddItem(std::make_shared<TopMenuItem>());
            for (const auto& label : labels) builder.AddItem(std::make_shared<BenchItem>(label));
        };
        Canvas canvas(400, 40, ::GetSysColor(COLOR_MENU));
        Lumo::Win::UniqueGdiObject font = MenuFont();
        ::SelectObject(canvas.Dc(), font.get());

        std::printf("MenuBench: %d entries in the Quelvar submenu\n", kEntries);
        Phases forwarded;
        for (MessageRouting routing : {MessageRouting::ForwardToHandler, MessageRouting::HooksOnly}) {
            ShellHost host(routing, routing == MessageRouting::HooksOnly ? 0 : 100);
            Phases best;
            for (int i = 0; i < 10; ++i) OneMenu(host, folder, best, canvas);
            std::printf("message sequence, %s:\n",
                        routing == MessageRouting::HooksOnly ? "hooks only" : "forwarding");
            std::printf("  QueryContextMenu          %8.3f ms\n", best.query);
            std::printf("  open Quelvar submenu      %8.3f ms\n", best.open);
            std::printf("  measure %4d entries      %8.3f ms\n", kEntries + 1, best.measure);
            std::printf("  draw %4d entries         %8.3f ms\n", kEntries + 1, best.draw);
            std::printf("  total (best run)          %8.3f ms\n", best.total);
            std::printf("  measure, item called directly   %8.3f ms\n", best.measureDirect);
            std::printf("  draw, handler called directly   %8.3f ms\n", best.drawDirect);
            std::printf("  host path only, measure %8.3f ms, draw %8.3f ms\n", best.measurePath,
                        best.drawPath);
            if (routing == MessageRouting::ForwardToHandler) forwarded = best;
        }
        // The real main submenu over a data file of 1,000 favorites and a full history.
        BenchMenu() = Lumo::Menu::MainMenuDefinition();
        {
            Lumo::Data::DataCenter& center = *Lumo::Data::DataCenter::Instance();
            auto data = center.Load();
            data->favorites->folders = Lumo::Data::FolderList(labels.begin(), labels.end());
            data->navigateHistory->items.assign(labels.begin(),
                                                labels.begin() + data->userSettings->historyDepth);
            center.Save(*data);
            for (bool limited : {true, false}) {
                data->userSettings->limitTopFavorites = limited;
                center.Save(*data);
                ShellHost host;
                HMENU main = nullptr;
                const double open = Best(10, [&] {
                    host.ResetMenu();
                    host.CreateHandler(BenchMenu());
                    host.InitializeBackground(folder);
                    host.QueryContextMenu();
                    main = host.OpenQuelvarSubmenu();
                    HMENU history = host.OpenSubmenu(main, 1);  // Navigate History, filled on opening
                    (void)history;
                    host.CloseAll();
                    host.ReleaseHandler();
                });
                std::printf(
                    "main submenu, 1,000 favorites (%s), full history: query + open + open history "
                    "%8.3f ms\n",
                    limited ? "15 at top, rest under More Favorites" : "all at top", open);
            }
        }
        Canvas scratch(400, 40, ::GetSysColor(COLOR_MENU));
        const PeerTimes floor = MinimalOwnerDraw(labels, scratch);
        std::printf(
            "peer: minimal owner-drawn menu, %d entries, measure %8.3f ms, draw %8.3f ms, "
            "measure+draw %8.3f ms\n",
            kEntries, floor.measure, floor.draw, floor.measure + floor.draw);
        std::printf("ours / peer, through the host (forwarding): measure %6.2f, draw %6.2f\n",
                    forwarded.measure / floor.measure, forwarded.draw / floor.draw);
        std::printf("ours / peer, the handler's own work:        measure %6.2f, draw %6.2f\n",
                    forwarded.measureDirect / floor.measure, forwarded.drawDirect / floor.draw);

        // Real menu loops: ours against the system's own text menu of the same size.
        BenchMenu().mainSubmenu = [&labels](EntryList& builder) {
            builder.AddItem(std::make_shared<TopMenuItem>());
            for (const auto& label : labels) builder.AddItem(std::make_shared<BenchItem>(label));
        };
        ShellHost host;
        Lumo::Win::UniqueMenu textMenu(::CreatePopupMenu());
        HMENU textSubmenu = ::CreatePopupMenu();
        for (const auto& label : labels) ::AppendMenuW(textSubmenu, MF_STRING, 1, label.c_str());
        ::AppendMenuW(textMenu.get(), MF_STRING, 2, L"&Open");
        ::AppendMenuW(textMenu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(textSubmenu), L"Quelvar");
        Lumo::Win::UniqueMenu drawnMenu(::CreatePopupMenu());
        HMENU drawnSubmenu = ::CreatePopupMenu();
        for (size_t i = 0; i < labels.size(); ++i) {
            ::AppendMenuW(drawnSubmenu, MF_OWNERDRAW, 1, reinterpret_cast<LPCWSTR>(i));
        }
        ::AppendMenuW(drawnMenu.get(), MF_STRING, 2, L"&Open");
        ::AppendMenuW(drawnMenu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(drawnSubmenu), L"Quelvar");
        auto steps = [&](HMENU menu, UINT position) {
            return std::vector<ShellHost::Step>{host.Hover(menu, position), host.Key(VK_RIGHT),
                                                host.Keys({VK_ESCAPE, VK_ESCAPE})};
        };
        // One loop of ours; `leaveOut` names a hook of the handler's thread
        // taken out once the menu is queried. The host forwards, so the menu
        // still measures and draws without either; the WH_CALLWNDPROC hook
        // cannot be left out, as it alone fills the submenu when it opens.
        enum class LeaveOut { Nothing, Cbt, MsgFilter };
        auto ours = [&](LeaveOut leaveOut) {
            host.ResetMenu();
            host.CreateHandler(BenchMenu());
            host.InitializeBackground(folder);
            host.QueryContextMenu();
            if (ThreadMenuState* state = ThreadStates::CurrentState()) {
                if (leaveOut == LeaveOut::Cbt) state->cbtHook.reset();
                if (leaveOut == LeaveOut::MsgFilter) state->msgFilterHook.reset();
            }
            const double start = Bench::NowMs();
            host.TrackMenu(steps(host.Menu(), host.QuelvarPosition()));
            const double spent = Bench::NowMs() - start;
            host.ReleaseHandler();
            // The next handler of the thread puts back what was taken out.
            ThreadStates::Release();
            return spent;
        };
        // Rounds take turns, so that every variant sees the same load of the machine.
        double ourLoop = 1e300, textLoop = 1e300, drawnLoop = 1e300, hookedLoop = 1e300;
        double withoutCbt = 1e300, withoutMsgFilter = 1e300;
        // Per round, ours against the hooked peer of the same round: a change of
        // the machine's pace between rounds moves both.
        std::vector<double> ourRounds, roundRatios, textRounds, drawnRounds, hookedRounds;
        for (int round = 0; round < 10; ++round) {
            const double one = ours(LeaveOut::Nothing);
            ourRounds.push_back(one);
            ourLoop = std::min(ourLoop, one);
            withoutCbt = std::min(withoutCbt, ours(LeaveOut::Cbt));
            withoutMsgFilter = std::min(withoutMsgFilter, ours(LeaveOut::MsgFilter));
            const double text = Best(1, [&] {
                host.TrackMenu(textMenu.get(), steps(textMenu.get(), 1), TPM_RETURNCMD | TPM_RIGHTBUTTON);
            });
            textRounds.push_back(text);
            textLoop = std::min(textLoop, text);
            OwnerDrawnPeer peer(host.Window(), labels);
            const double drawn = Best(1, [&] {
                host.TrackMenu(drawnMenu.get(), steps(drawnMenu.get(), 1), TPM_RETURNCMD | TPM_RIGHTBUTTON);
            });
            drawnRounds.push_back(drawn);
            drawnLoop = std::min(drawnLoop, drawn);
            BareHooks hooks;
            const double hooked = Best(1, [&] {
                host.TrackMenu(drawnMenu.get(), steps(drawnMenu.get(), 1), TPM_RETURNCMD | TPM_RIGHTBUTTON);
            });
            hookedRounds.push_back(hooked);
            hookedLoop = std::min(hookedLoop, hooked);
            roundRatios.push_back(one / hooked);
        }
        {
            // The messages of one loop of ours, by kind: sent ones pass WH_CALLWNDPROC,
            // the menu loop's own ones WH_MSGFILTER.
            g_sentKinds.clear();
            g_filteredKinds.clear();
            host.ResetMenu();
            host.CreateHandler(BenchMenu());
            host.InitializeBackground(folder);
            host.QueryContextMenu();
            Lumo::Win::UniqueHook sent(
                ::SetWindowsHookExW(WH_CALLWNDPROC, CountingHook, nullptr, ::GetCurrentThreadId()));
            Lumo::Win::UniqueHook filtered(
                ::SetWindowsHookExW(WH_MSGFILTER, CountingFilter, nullptr, ::GetCurrentThreadId()));
            host.TrackMenu(steps(host.Menu(), host.QuelvarPosition()));
            sent.reset();
            filtered.reset();
            host.ReleaseHandler();
            std::printf("messages of one loop of ours, by kind:\n");
            PrintKinds("sent (WH_CALLWNDPROC)", g_sentKinds);
            PrintKinds("menu loop (WH_MSGFILTER)", g_filteredKinds);
        }
        {
            MessageClock clock(host.Window());
            host.ResetMenu();
            host.CreateHandler(BenchMenu());
            host.InitializeBackground(folder);
            host.QueryContextMenu();
            // Counts the messages sent while the loop runs: each passes the thread's hooks.
            g_hookCalls = 0;
            Lumo::Win::UniqueHook counter(
                ::SetWindowsHookExW(WH_CALLWNDPROC, CountingHook, nullptr, ::GetCurrentThreadId()));
            const double start = Bench::NowMs();
            host.TrackMenu(steps(host.Menu(), host.QuelvarPosition()));
            const double loop = Bench::NowMs() - start;
            counter.reset();
            host.ReleaseHandler();
            std::printf(
                "one loop of ours (with a counting hook more), %8.3f ms; in the host window: opening "
                "%8.3f ms, measuring %d entries %8.3f ms, drawing %d entries %8.3f ms; %d messages "
                "sent through the thread's hooks\n",
                loop, clock.fill, clock.measured, clock.measure, clock.drawn, clock.draw, g_hookCalls);
        }
        {
            // What a message sent to the host window costs with hooks on the thread.
            auto sends = [&] {
                return Best(5, [&] {
                    for (int i = 0; i < 1000; ++i) ::SendMessageW(host.Window(), WM_NULL, 0, 0);
                });
            };
            const double none = sends();
            Lumo::Win::UniqueHook bare(
                ::SetWindowsHookExW(WH_CALLWNDPROC, BareHook, nullptr, ::GetCurrentThreadId()));
            const double bareHook = sends();
            bare.reset();
            host.CreateHandler(BenchMenu());
            const double handlerHooks = sends();
            host.ReleaseHandler();
            std::printf(
                "1,000 messages sent to the host window: no hook %8.3f ms, a bare WH_CALLWNDPROC hook "
                "%8.3f ms, the handler's hooks %8.3f ms\n",
                none, bareHook, handlerHooks);
        }
        // The spread of each variant's rounds: a slow mode that hits every
        // variant alike is the platform's, not the handler's.
        auto spread = [](std::vector<double> rounds) {
            std::sort(rounds.begin(), rounds.end());
            char text[64];
            std::snprintf(text, sizeof(text), "median %.1f, worst %.1f", rounds[rounds.size() / 2],
                          rounds.back());
            return std::string(text);
        };
        std::sort(ourRounds.begin(), ourRounds.end());
        std::sort(roundRatios.begin(), roundRatios.end());
        std::printf("real menu loop (open, show, close; includes the host's timer steps; best of 10):\n");
        std::printf("  Quelvar submenu, %d owner-drawn entries  %8.3f ms (rounds: median %.3f, worst %.3f)\n",
                    kEntries, ourLoop, ourRounds[ourRounds.size() / 2], ourRounds.back());
        std::printf("    without the WH_CBT hook                 %8.3f ms\n", withoutCbt);
        std::printf("    without the WH_MSGFILTER hook           %8.3f ms\n", withoutMsgFilter);
        std::printf("  system text submenu, %d entries          %8.3f ms (rounds: %s)\n", kEntries, textLoop,
                    spread(textRounds).c_str());
        std::printf("  minimal owner-drawn submenu, %d entries  %8.3f ms (rounds: %s)\n", kEntries, drawnLoop,
                    spread(drawnRounds).c_str());
        std::printf("    carrying the same three hooks           %8.3f ms (rounds: %s)\n", hookedLoop,
                    spread(hookedRounds).c_str());
        std::printf(
            "  ratio ours / minimal owner-drawn with the same hooks %8.2f (per round: median %.2f, range "
            "%.2f to %.2f)\n",
            ourLoop / hookedLoop, roundRatios[roundRatios.size() / 2], roundRatios.front(),
            roundRatios.back());
        std::printf("  ratio ours / system                       %8.2f\n", ourLoop / textLoop);
        std::printf("  ratio minimal owner-drawn / system        %8.2f\n", drawnLoop / textLoop);
        BenchMenu() = MenuDefinition{};
    } catch (const std::exception& e) {
        std::printf("MenuBench failed: %s\n", e.what());
        status = 1;
    }
    ::CoUninitialize();
    return status;
}
