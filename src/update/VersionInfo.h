// Reading "version.xml": the latest version and its download page. The answer
// comes from the network, so before TinyXML sees it, a linear scan that walks
// the document exactly as TinyXML will measures it, and a document shaped
// beyond anything version.xml ever needs is refused unparsed: TinyXML
// recurses once per nested element (in parsing and again in freeing), takes
// time that grows with the square of the nesting, and checks every attribute
// of an element against all the others before it.
#pragma once

#include <cstddef>
#include <string>

namespace Lumo::Update {

// version.xml needs three levels (product, update, latest_version); the rest
// is room for a server that wraps or annotates its answer.
inline constexpr std::size_t kMaxVersionInfoDepth = 16;
// version.xml needs no attributes at all.
inline constexpr std::size_t kMaxVersionInfoAttributes = 32;

struct VersionInfo {
    bool usable = false;  // both texts present and the page is an acceptable address
    std::wstring latestVersion;
    std::wstring downloadPage;
};

// What TinyXML is given for `body`: the bytes up to the first zero byte,
// followed by zero bytes, so that no multi-byte step TinyXML takes at the end
// of the text can leave the buffer.
std::string VersionInfoText(const std::string& body);

struct VersionInfoShape {
    std::size_t depth = 0;       // the deepest element nesting
    std::size_t attributes = 0;  // the most attributes of one element
};

// The shape of the elements TinyXML builds while parsing `text` (as made by
// VersionInfoText), measured without recursion; the depth stops counting at
// `depthLimit` + 1.
VersionInfoShape MeasureVersionInfo(const std::string& text, std::size_t depthLimit);

// Whether a download page address from the server may be opened: only an
// absolute http or https URL with a host, nothing the shell would run or
// open locally (file:, UNC paths, program names, script URLs).
bool IsAcceptableDownloadPage(const std::wstring& url);

// Parses an answer; never recurses deeper than kMaxVersionInfoDepth levels.
VersionInfo ParseVersionInfo(const std::string& body);

}  // namespace Lumo::Update
