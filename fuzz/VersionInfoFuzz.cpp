// The version.xml reader under libFuzzer, with TinyXML (asserts on) as the
// reference. No answer the depth scan accepts may make TinyXML nest deeper
// than the scan's limit; the scan must see exactly the nesting and the
// attributes TinyXML builds; and an accepted answer must read as TinyXML
// reads it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "../bench/fuzz-version/TreeShape.h"
#include "tinyxml.h"
#include "update/VersionInfo.h"

#include <windows.h>

namespace {

using Lumo::Update::kMaxVersionInfoAttributes;
using Lumo::Update::kMaxVersionInfoDepth;
using Lumo::Update::VersionInfo;
using Lumo::Update::VersionInfoShape;

// Deeper answers are refused unparsed by the reader; TinyXML recurses once per
// level, so it is given only answers up to this depth.
constexpr std::size_t kComparedDepth = 500;

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "VersionInfoFuzz: %s\n", what);
    std::abort();
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::wstring TextChild(TiXmlNode* update, const char* name) {
    TiXmlNode* element = update->FirstChild(name);
    TiXmlNode* first = element ? element->FirstChild() : nullptr;
    return first && first->ToText() ? Wide(first->ToText()->ValueStr()) : std::wstring();
}

// The two texts as TinyXML's tree holds them, under the reader's rule for the page.
VersionInfo Reference(TiXmlDocument& document) {
    VersionInfo info;
    if (document.Error()) return info;
    TiXmlNode* product = document.FirstChild("product");
    TiXmlNode* update = product && product->ToElement() ? product->FirstChild("update") : nullptr;
    if (update && update->ToElement()) {
        info.latestVersion = TextChild(update, "latest_version");
        info.downloadPage = TextChild(update, "download_page");
    }
    if (!info.downloadPage.empty() && !Lumo::Update::IsAcceptableDownloadPage(info.downloadPage)) {
        info.latestVersion.clear();
        info.downloadPage.clear();
    }
    info.usable = !info.latestVersion.empty() && !info.downloadPage.empty();
    return info;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(input), size);
    const VersionInfo read = Lumo::Update::ParseVersionInfo(body);
    const std::string text = Lumo::Update::VersionInfoText(body);
    const VersionInfoShape limited = Lumo::Update::MeasureVersionInfo(text, kMaxVersionInfoDepth);
    const VersionInfoShape whole = Lumo::Update::MeasureVersionInfo(text, static_cast<std::size_t>(-2));
    const bool accepted =
        limited.depth <= kMaxVersionInfoDepth && limited.attributes <= kMaxVersionInfoAttributes;
    Check(limited.depth == std::min(whole.depth, kMaxVersionInfoDepth + 1),
          "the scan's limit changed the depth");
    Check(limited.depth > kMaxVersionInfoDepth || limited.attributes == whole.attributes,
          "the scan's limit changed the attribute count");
    if (!accepted) Check(!read.usable, "a refused answer was read");
    if (whole.depth > kComparedDepth) return 0;

    TiXmlDocument document;
    document.Parse(text.c_str());
    const VersionInfoShape tree = TreeShape(document);
    if (accepted) Check(tree.depth <= kMaxVersionInfoDepth, "an accepted answer makes TinyXML nest too deep");
    Check(tree.depth == whole.depth, "the scan saw other nesting than TinyXML builds");
    Check(tree.attributes == whole.attributes, "the scan counted other attributes than TinyXML reads");
    if (accepted) {
        const VersionInfo reference = Reference(document);
        Check(read.usable == reference.usable && read.latestVersion == reference.latestVersion &&
                  read.downloadPage == reference.downloadPage,
              "the reader read otherwise than TinyXML");
    }
    return 0;
}
