// Drives the real version.xml reader with generated server answers: deep
// nesting, huge counts, long texts, odd encodings, and random damage to good
// answers. Each answer must be read without a crash, within a time bound, in
// bounded memory, with the outcome the rules give it:
// - an answer nested deeper than the limit is refused (not usable);
// - any other answer reads exactly as TinyXML reads it, and where the
//   generator knows the answer (a good one, however dressed), as intended;
// - the depth scan sees exactly the nesting TinyXML builds: never less (that
//   would let a deep answer reach TinyXML), never more (that would refuse an
//   answer TinyXML reads). TinyXML's own nesting is measured on a thread with
//   a stack large enough for any 64 KiB answer.
// The reader itself runs on a thread with a 64 KiB stack, a fraction of what
// any host gives its threads.
//
// Usage: VersionFuzz [cases [seed]]   (default 100000 cases, seed 1)
//        VersionFuzz 0 seed case file  writes the answer of one case to a file
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "../BenchClock.h"
#include "TreeShape.h"
#include "tinyxml.h"
#include "update/UpdateCheck.h"
#include "update/VersionInfo.h"

namespace {

using Lumo::Update::kMaxVersionInfoAttributes;
using Lumo::Update::kMaxVersionInfoDepth;
using Lumo::Update::kMaxVersionInfoSize;

constexpr SIZE_T kReaderStack = 64 * 1024;
constexpr SIZE_T kMeasureStack = 64 * 1024 * 1024;
constexpr DWORD kHangMs = 10000;
// TinyXML's time grows with the square of the nesting (every element looks up
// its document through all its parents): 21,000 levels take it seconds. Its
// nesting is compared up to this depth. Likewise it checks each attribute of
// an element against all the others.
constexpr std::size_t kComparedDepth = 500;
constexpr std::size_t kComparedAttributes = 2000;
constexpr SIZE_T kMemoryBound = 512 * 1024 * 1024;

const char kLatest[] = "1.6.0.2";
const char kPage[] = "https://www.example.org/quelvar/download.html";

// What the generator knows of an answer.
enum class Expect { Nothing, Usable, Refused };

struct Case {
    std::string body;
    Expect expect = Expect::Nothing;
    std::string latest = kLatest;  // for Usable
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random_(seed) {}

    Case Next(std::uint64_t index) {
        Case c;
        switch (index % 10) {
            case 0:
            case 1:
                c = Dressed();
                break;
            case 2:
            case 3:
                c = Deep();
                break;
            case 4:
                c = Counts();
                break;
            case 5:
                c = LongTexts();
                break;
            case 6:
                c = Encodings();
                break;
            default:
                c = Mutated();
                break;
        }
        if (c.body.size() > kMaxVersionInfoSize) {
            // Longer answers never reach the reader.
            c.body.resize(kMaxVersionInfoSize);
            if (c.expect == Expect::Usable) c.expect = Expect::Nothing;
        }
        return c;
    }

private:
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(random_() % n); }
    bool Chance(int percent) { return Below(100) < static_cast<std::size_t>(percent); }
    std::string Space() {
        static const char* kSpaces[] = {"", " ", "\r\n", "\t", "\n  ", "   \r\n\t"};
        return kSpaces[Below(6)];
    }
    std::string Name() {
        static const char* kNames[] = {"a",  "x",        "item", "_n", "ns:el", "long-name.with.dots",
                                       "b9", "\xC3\xA9t"};
        return kNames[Below(8)];
    }
    // Something that may stand between elements without changing what is read.
    std::string Filler() {
        switch (Below(5)) {
            case 0:
                return "<!-- note " + std::to_string(Below(1000)) + " -->";
            case 1:
                return "<" + Name() + " k=\"v\"/>";
            case 2: {
                const std::string name = Name();
                return "<" + name + ">t&amp;t</" + name + ">";
            }
            case 3:
                return "<!DOCTYPE product>";
            default:
                return Space();
        }
    }
    // An element of `depth` levels of `name` around `inside`.
    std::string Nest(std::size_t depth, const std::string& inside) {
        std::string open, close;
        for (std::size_t i = 0; i < depth; ++i) {
            open += "<w>";
            close += "</w>";
        }
        return open + inside + close;
    }

    std::string Good(const std::string& latest, const std::string& page, std::size_t extraDepth) {
        std::string xml;
        if (Chance(40))
            xml += "<?xml version=\"1.0\"" + std::string(Chance(50) ? " encoding=\"UTF-8\"" : "") + "?>";
        xml += Space() + Filler() + Space();
        xml += "<product" + std::string(Chance(30) ? " name=\"Quelvar\"" : "") + ">" + Space();
        if (Chance(30)) xml += Filler();
        xml += "<update>" + Space();
        if (Chance(30)) xml += Filler() + Space();
        xml += "<latest_version>" + latest + "</latest_version>" + Space();
        if (Chance(30)) xml += Filler() + Space();
        xml += "<download_page>" + page + "</download_page>" + Space();
        // Elements nested below update: product and update are two levels.
        if (extraDepth > 0) xml += Nest(extraDepth, "deep");
        xml += "</update>" + Space() + "</product>" + Space();
        if (Chance(20)) xml += Filler();
        return xml;
    }

    // A good answer, dressed in declarations, comments, white space and
    // other elements, sometimes nested right up to the limit.
    Case Dressed() {
        Case c;
        const std::size_t extra = Chance(30) ? kMaxVersionInfoDepth - 2 : Below(4);
        c.body = Good(kLatest, kPage, extra);
        if (Chance(10)) c.body = "\xEF\xBB\xBF" + c.body;
        c.expect = Expect::Usable;
        return c;
    }

    Case Deep() {
        static const std::size_t kDepths[] = {kMaxVersionInfoDepth - 1,
                                              kMaxVersionInfoDepth,
                                              kMaxVersionInfoDepth + 1,
                                              kMaxVersionInfoDepth + 2,
                                              100,
                                              1000,
                                              6000,
                                              21000};
        const std::size_t depth = Chance(70) ? kDepths[Below(8)] : 1 + Below(22000);
        Case c;
        std::string open, close;
        const std::string name = Chance(70) ? "a" : Name();
        const int style = static_cast<int>(Below(4));
        for (std::size_t i = 0; i < depth; ++i) {
            open += "<" + name + (style == 1 ? " k='" + std::to_string(i % 10) + "'" : "") + ">";
            if (style == 2) open += Space();
            close += "</" + name + ">";
        }
        if (style == 3) close.clear();  // never closed
        if (Chance(30)) {
            // A good answer first, then a deep sibling: refused all the same.
            const std::string good = Good(kLatest, kPage, 0);
            const std::size_t at = good.rfind("</product>");
            c.body = good.substr(0, at) + open + "x" + close + good.substr(at);
            c.expect = depth + 1 > kMaxVersionInfoDepth ? Expect::Refused : Expect::Nothing;
            if (depth + 1 <= kMaxVersionInfoDepth && style != 3) c.expect = Expect::Usable;
        } else {
            c.body = open + "x" + close;
            c.expect = depth > kMaxVersionInfoDepth ? Expect::Refused : Expect::Nothing;
        }
        // Cut to the size limit, the answer is still refused while all its opening tags remain.
        if (c.body.size() > kMaxVersionInfoSize && c.body.find(open) + open.size() >= kMaxVersionInfoSize)
            c.expect = Expect::Nothing;
        return c;
    }

    // Many siblings, attributes, entities, comments, declarations.
    Case Counts() {
        Case c;
        const std::size_t n = 1 + Below(Chance(15) ? 20000 : 200);
        std::string many;
        switch (Below(6)) {
            case 0:
                for (std::size_t i = 0; i < n; ++i) many += "<s/>";
                break;
            case 1:
                many = "<s";
                for (std::size_t i = 0; i < n && many.size() < 60000; ++i)
                    many += " a" + std::to_string(i) + "=''";
                many += "/>";
                break;
            case 2:
                for (std::size_t i = 0; i < n; ++i) many += "<!--c-->";
                break;
            case 3:
                for (std::size_t i = 0; i < n; ++i) many += "<![CDATA[x]]>";
                break;
            case 4:
                for (std::size_t i = 0; i < n; ++i) many += "<?xml version='1.0'?>";
                break;
            default:
                for (std::size_t i = 0; i < n; ++i) many += "&#x41;&amp;";
                break;
        }
        if (many.size() > 60000) many.resize(60000);
        std::string good = Good(kLatest, kPage, 0);
        const std::size_t at = good.find("<latest_version>");
        c.body = good.substr(0, at) + "<m>" + many + "</m>" + good.substr(at);
        return c;  // a cut element or attribute list makes the outcome TinyXML's to decide
    }

    Case LongTexts() {
        Case c;
        const std::size_t n = 1 + Below(Chance(15) ? 60000 : 2000);
        switch (Below(5)) {
            case 0:
                c.body = Good(std::string(n, '9'), kPage, 0);
                c.latest = std::string(n, '9');
                c.expect = Expect::Usable;
                break;
            case 1:
                c.body = Good(kLatest, "https://www.example.org/" + std::string(n, 'p'), 0);
                break;
            case 2: {
                const std::string name(n, 'n');
                c.body = Good(kLatest, kPage, 0);
                c.body.insert(c.body.find("<update>"), "<" + name + ">t</" + name + ">");
                c.expect = Expect::Usable;
                break;
            }
            case 3:
                c.body = Good(kLatest, kPage, 0);
                c.body.insert(c.body.find("<update>"), "<!--" + std::string(n, '-') + "-->");
                break;
            default:
                c.body = Good(kLatest, kPage, 0);
                c.body.insert(c.body.find("<update") + 7, " v=\"" + std::string(n, 'v') + "\"");
                c.expect = Expect::Usable;
                break;
        }
        return c;
    }

    static std::string Utf16(const std::string& text, bool bigEndian) {
        std::string out;
        for (char ch : text) {
            out += bigEndian ? std::string(1, '\0') + ch : std::string(1, ch) + '\0';
        }
        return out;
    }

    Case Encodings() {
        Case c;
        const std::string good = Good(kLatest, kPage, 0);
        switch (Below(9)) {
            case 0:
                c.body = "\xFF\xFE" + Utf16(good, false);
                break;
            case 1:
                c.body = "\xFE\xFF" + Utf16(good, true);
                break;
            case 2:
                c.body = Utf16(good, false);
                break;
            case 3: {
                // Declared encodings: only the reading of the bytes changes.
                static const char* kEncodings[] = {"ISO-8859-1",   "utf-8",     "UTF8",     "",
                                                   "windows-1252", "&#85;TF-8", "\xC3\xA9", "UTF-16"};
                c.body =
                    "<?xml version=\"1.0\" encoding=\"" + std::string(kEncodings[Below(8)]) + "\"?>" + good;
                c.expect = Expect::Usable;
                break;
            }
            case 4: {
                // A lead byte that swallows what follows it, in UTF-8.
                static const char* kLeads[] = {"\xC3", "\xE2", "\xF0", "\xEF\xBB", "\xEF\xBF"};
                c.body = "\xEF\xBB\xBF" + good;
                c.body.insert(1 + Below(c.body.size() - 1), kLeads[Below(5)]);
                break;
            }
            case 5: {
                // A sequence cut by the end of the answer.
                static const char* kLeads[] = {"\xC3", "\xE2\x82", "\xF0", "\xF0\x9F\x98",
                                               "\xEF", "&#x",      "&#"};
                c.body = (Chance(70) ? "\xEF\xBB\xBF" : "") + good.substr(0, Below(good.size())) +
                         kLeads[Below(7)];
                break;
            }
            case 6: {
                c.body = good;
                c.body.insert(Below(c.body.size()), 1, '\0');
                break;
            }
            case 7: {
                c.body = (Chance(50) ? "\xEF\xBB\xBF" : "") + good;
                for (std::size_t i = 0, n = 1 + Below(20); i < n; ++i) {
                    c.body[Below(c.body.size())] = static_cast<char>(0x80 + Below(128));
                }
                break;
            }
            default: {
                // The marks TinyXML skips as white space in UTF-8, between the elements.
                c.body = "\xEF\xBB\xBF" + good;
                std::size_t at = 0;
                while ((at = c.body.find("><", at + 1)) != std::string::npos && Chance(50)) {
                    c.body.insert(at + 1, Chance(50) ? "\xEF\xBF\xBE" : "\xEF\xBB\xBF");
                }
                c.expect = Expect::Usable;
                break;
            }
        }
        return c;
    }

    Case Mutated() {
        static const char* kTokens[] = {
            "<", ">",   "</", "/>", "<a>", "</a>", "<!--", "-->", "<![CDATA[",    "]]>",  "<?xml", "?>",
            "&", "&#x", "&#", ";",  "\"",  "'",    "=",    "<!",  "\xEF\xBB\xBF", "\xC3", "\xF0",  " "};
        Case base = Chance(70) ? Dressed() : Deep();
        std::string body = base.body;
        for (std::size_t i = 0, n = 1 + Below(8); i < n && !body.empty(); ++i) {
            const std::size_t at = Below(body.size());
            switch (Below(6)) {
                case 0:
                    body[at] = static_cast<char>(Below(256));
                    break;
                case 1:
                    body.insert(at, kTokens[Below(sizeof(kTokens) / sizeof(kTokens[0]))]);
                    break;
                case 2:
                    body.erase(at, 1 + Below(16));
                    break;
                case 3:
                    body.insert(at, body.substr(Below(body.size()), 1 + Below(64)));
                    break;
                case 4:
                    body.resize(at);
                    break;
                default:
                    body.insert(at, std::string(1 + Below(4), body[Below(body.size())]));
                    break;
            }
        }
        Case c;
        c.body = body;
        return c;
    }

    std::mt19937_64 random_;
};

// The reading rules, written out once more from TinyXML's tree.
std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::wstring TextChild(TiXmlElement* update, const char* name) {
    TiXmlNode* element = update->FirstChild(name);
    TiXmlNode* first = element ? element->FirstChild() : nullptr;
    return first && first->ToText() ? Wide(first->ToText()->ValueStr()) : std::wstring();
}

Lumo::Update::VersionInfo Reference(const TiXmlDocument& document) {
    Lumo::Update::VersionInfo info;
    if (document.Error()) return info;
    TiXmlNode* product = const_cast<TiXmlDocument&>(document).FirstChild("product");
    TiXmlNode* update = product && product->ToElement() ? product->FirstChild("update") : nullptr;
    if (update && update->ToElement()) {
        info.latestVersion = TextChild(update->ToElement(), "latest_version");
        info.downloadPage = TextChild(update->ToElement(), "download_page");
    }
    if (!info.downloadPage.empty() && !Lumo::Update::IsAcceptableDownloadPage(info.downloadPage)) {
        info.latestVersion.clear();
        info.downloadPage.clear();
    }
    info.usable = !info.latestVersion.empty() && !info.downloadPage.empty();
    return info;
}

DWORD WINAPI RunWork(void* parameter) {
    (*static_cast<const std::function<void()>*>(parameter))();
    return 0;
}

// Starts `work` on a thread with a stack of `reserve` bytes.
HANDLE StartOnStack(SIZE_T reserve, const std::function<void()>* work) {
    HANDLE thread = ::CreateThread(nullptr, reserve, &RunWork, const_cast<std::function<void()>*>(work),
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        std::printf("cannot start a thread: %lu\n", ::GetLastError());
        std::exit(2);
    }
    return thread;
}

// Runs `work` on a thread with a stack of `reserve` bytes and waits for it.
void OnStack(SIZE_T reserve, const std::function<void()>& work) {
    HANDLE thread = StartOnStack(reserve, &work);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
}

// One thread with a large stack that runs jobs for the others, one at a time.
class LargeStack {
public:
    LargeStack()
        : ready_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          done_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        thread_ = StartOnStack(kMeasureStack, &loop_);
    }
    ~LargeStack() {
        Run(nullptr);
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
        ::CloseHandle(ready_);
        ::CloseHandle(done_);
    }
    // Runs `job` there (null: ends the thread) and waits for it.
    void Run(const std::function<void()>* job) {
        job_ = job;
        ::SetEvent(ready_);
        ::WaitForSingleObject(done_, INFINITE);
    }

private:
    HANDLE ready_, done_, thread_ = nullptr;
    const std::function<void()>* job_ = nullptr;
    std::function<void()> loop_ = [this] {
        for (;;) {
            ::WaitForSingleObject(ready_, INFINITE);
            const std::function<void()>* job = job_;
            if (job) (*job)();
            ::SetEvent(done_);
            if (!job) return;
        }
    };
};

struct Counts {
    std::uint64_t cases = 0, usable = 0, refused = 0, unusable = 0;
    std::uint64_t knownUsable = 0, knownRefused = 0;
    std::uint64_t depthChecked = 0, beyondCompared = 0;
    std::uint64_t failures = 0;
    std::size_t deepest = 0, largest = 0;
    double slowestMs = 0;
};

std::atomic<std::uint64_t> g_current{0};
std::atomic<ULONGLONG> g_caseStart{0};
std::atomic<bool> g_done{false};

double Milliseconds() { return Bench::NowMs(); }

void Fail(Counts& counts, std::uint64_t index, const char* what, const Case& c) {
    ++counts.failures;
    if (counts.failures <= 20) {
        std::printf("FAIL case %" PRIu64 ": %s (%zu bytes, starts \"", index, what, c.body.size());
        for (std::size_t i = 0; i < c.body.size() && i < 60; ++i) {
            const unsigned char ch = static_cast<unsigned char>(c.body[i]);
            if (ch >= 32 && ch < 127) {
                std::putchar(ch);
            } else {
                std::printf("\\x%02X", ch);
            }
        }
        std::printf("\")\n");
    }
}

// The answer of one case, written to a file to look at.
void Dump(std::uint64_t seed, std::uint64_t wanted, const wchar_t* path) {
    Generator generator(seed);
    for (std::uint64_t index = 0; index <= wanted; ++index) {
        const Case c = generator.Next(index);
        if (index != wanted) continue;
        HANDLE file =
            ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        ::WriteFile(file, c.body.data(), static_cast<DWORD>(c.body.size()), &written, nullptr);
        ::CloseHandle(file);
    }
}

void Compare(Counts& counts, std::uint64_t index, const Case& c, const std::string& text,
             const Lumo::Update::VersionInfo& read, const Lumo::Update::VersionInfoShape& scanned,
             bool refused);

void Run(std::uint64_t total, std::uint64_t seed, Counts& counts) {
    Generator generator(seed);
    for (std::uint64_t index = 0; index < total; ++index) {
        const Case c = generator.Next(index);
        g_current = index;
        g_caseStart = ::GetTickCount64();
        const double start = Milliseconds();
        const Lumo::Update::VersionInfo read = Lumo::Update::ParseVersionInfo(c.body);
        const double took = Milliseconds() - start;
        counts.slowestMs = std::max(counts.slowestMs, took);
        if (took > 100 && std::getenv("QV_FUZZ_SLOW"))
            std::printf("slow %.0f ms case %" PRIu64 "\n", took, index);
        ++counts.cases;
        counts.largest = std::max(counts.largest, c.body.size());

        const std::string text = Lumo::Update::VersionInfoText(c.body);
        const Lumo::Update::VersionInfoShape shape =
            Lumo::Update::MeasureVersionInfo(text, static_cast<std::size_t>(-2));
        const std::size_t scanned = shape.depth;
        counts.deepest = std::max(counts.deepest, scanned);
        const bool refused = scanned > kMaxVersionInfoDepth || shape.attributes > kMaxVersionInfoAttributes;
        if (refused) {
            ++counts.refused;
            if (read.usable) Fail(counts, index, "a refused answer was read", c);
        } else {
            read.usable ? ++counts.usable : ++counts.unusable;
        }

        if (scanned > kComparedDepth || shape.attributes > kComparedAttributes) {
            ++counts.beyondCompared;
        } else {
            Compare(counts, index, c, text, read, shape, refused);
        }
        if (c.expect == Expect::Usable) {
            ++counts.knownUsable;
            if (!read.usable || read.latestVersion != Wide(c.latest) ||
                read.downloadPage.find(L"https://www.example.org/") != 0) {
                Fail(counts, index, "a good answer was not read", c);
            }
        } else if (c.expect == Expect::Refused) {
            ++counts.knownRefused;
            if (!refused || read.usable) Fail(counts, index, "a deep answer was not refused", c);
        }
        if ((index + 1) % 10000 == 0) {
            std::printf("  %" PRIu64 " cases, %" PRIu64 " failures\n", index + 1, counts.failures);
            std::fflush(stdout);
        }
    }
}

// TinyXML's own reading and nesting of one answer; deep ones on the large stack.
void Compare(Counts& counts, std::uint64_t index, const Case& c, const std::string& text,
             const Lumo::Update::VersionInfo& read, const Lumo::Update::VersionInfoShape& scanned,
             bool refused) {
    Lumo::Update::VersionInfo reference;
    Lumo::Update::VersionInfoShape tree;
    auto measure = [&] {
        TiXmlDocument document;
        document.Parse(text.c_str());
        tree = TreeShape(document);
        reference = Reference(document);
    };
    if (refused) {
        static LargeStack large;
        const std::function<void()> job = measure;
        large.Run(&job);
    } else {
        measure();
    }
    ++counts.depthChecked;
    if (tree.depth > scanned.depth) Fail(counts, index, "TinyXML nests deeper than the scan saw", c);
    if (tree.depth < scanned.depth) Fail(counts, index, "the scan saw deeper nesting than TinyXML builds", c);
    if (tree.attributes != scanned.attributes) Fail(counts, index, "the scan counted other attributes", c);
    if (!refused && (read.usable != reference.usable || read.latestVersion != reference.latestVersion ||
                     read.downloadPage != reference.downloadPage)) {
        Fail(counts, index, "read differently from TinyXML", c);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::uint64_t total = argc > 1 ? std::wcstoull(argv[1], nullptr, 10) : 100000;
    const std::uint64_t seed = argc > 2 ? std::wcstoull(argv[2], nullptr, 10) : 1;
    if (argc > 4) {
        Dump(seed, std::wcstoull(argv[3], nullptr, 10), argv[4]);
        return 0;
    }
    std::printf("version.xml fuzz: %" PRIu64 " cases, seed %" PRIu64 ", depth limit %zu, size limit %zu\n",
                total, seed, kMaxVersionInfoDepth, kMaxVersionInfoSize);
    std::fflush(stdout);
    Counts counts;
    const double start = Milliseconds();
    // A watchdog: a case that takes this long is a hang.
    const std::function<void()> watch = [] {
        while (!g_done) {
            ::Sleep(500);
            const ULONGLONG began = g_caseStart;
            if (!g_done && began && ::GetTickCount64() - began > kHangMs) {
                std::printf("HANG: case %" PRIu64 " runs for more than %lu ms\n", g_current.load(), kHangMs);
                std::fflush(stdout);
                ::ExitProcess(3);
            }
        }
    };
    HANDLE watchdog = StartOnStack(0, &watch);
    OnStack(kReaderStack, [&] { Run(total, seed, counts); });
    g_done = true;
    ::WaitForSingleObject(watchdog, INFINITE);
    ::CloseHandle(watchdog);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    const bool memoryOk = memory.PeakPagefileUsage < kMemoryBound;
    if (!memoryOk) ++counts.failures;
    std::printf("cases %" PRIu64 ": read %" PRIu64 ", unusable %" PRIu64 ", refused %" PRIu64 "\n",
                counts.cases, counts.usable, counts.unusable, counts.refused);
    std::printf("known good %" PRIu64 ", known refused %" PRIu64 ", compared with TinyXML %" PRIu64
                " (not compared, deeper than %zu levels or over %zu attributes: %" PRIu64 ")\n",
                counts.knownUsable, counts.knownRefused, counts.depthChecked, kComparedDepth,
                kComparedAttributes, counts.beyondCompared);
    std::printf(
        "deepest answer %zu levels, largest %zu bytes, slowest read %.2f ms, peak private memory %.1f MiB, "
        "%.1f s\n",
        counts.deepest, counts.largest, counts.slowestMs,
        static_cast<double>(memory.PeakPagefileUsage) / (1024.0 * 1024.0), (Milliseconds() - start) / 1000.0);
    std::printf("fuzz: %" PRIu64 " passed, %" PRIu64 " failed\n",
                counts.cases - std::min(counts.cases, counts.failures), counts.failures);
    return counts.failures == 0 ? 0 : 1;
}
