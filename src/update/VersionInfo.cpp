// version.xml: the depth scan that runs before TinyXML, and the reading of
// the two texts the Update page shows.
//
// The scan walks the text with TinyXML's own reading rules, rule for rule
// (the release this project builds with): how it skips white space and the
// UTF-8 marks, when it switches encoding after a declaration, how far a
// character, an entity, a name, an attribute, a comment, a CDATA section, an
// unknown tag or a text reaches, and where it stops. It keeps only a position
// and the names of the open elements, so it sees every element TinyXML will
// nest and every attribute it reads, no more and no fewer, without recursing
// itself. Where TinyXML stops with an error the scan stops too; a document it
// refuses is one TinyXML never sees.
#include "update/VersionInfo.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "tinyxml.h"

namespace Lumo::Update {
namespace {

using Encoding = TiXmlEncoding;

// The character classes of TinyXML: the C library's, with every byte from
// 127 up counted as a letter.
bool IsWhiteSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r'; }
bool IsAlpha(unsigned char c) { return c < 127 ? std::isalpha(c) != 0 : true; }
bool IsAlphaNum(unsigned char c) { return c < 127 ? std::isalnum(c) != 0 : true; }
int ToLower(int v, Encoding encoding) {
    if (encoding == TIXML_ENCODING_UTF8) return v < 128 ? std::tolower(v) : v;
    return std::tolower(v);
}

// Bytes TinyXML takes as one character in UTF-8, from the lead byte.
int Utf8Length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// EF BB BF, EF BF BE and EF BF BF, which TinyXML skips as white space in UTF-8.
bool IsUtf8Mark(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return u[0] == 0xEF &&
           ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && (u[2] == 0xBE || u[2] == 0xBF)));
}

const char* SkipWhiteSpace(const char* p, Encoding encoding) {
    if (!p || !*p) return nullptr;
    if (encoding == TIXML_ENCODING_UTF8) {
        while (*p) {
            if (IsUtf8Mark(p)) {
                p += 3;
            } else if (IsWhiteSpace(*p)) {
                ++p;
            } else {
                break;
            }
        }
    } else {
        while (*p && IsWhiteSpace(*p)) ++p;
    }
    return p;
}

// Whether `p` begins with `tag`.
bool StringEqual(const char* p, const char* tag, bool ignoreCase, Encoding encoding) {
    if (!p || !*p) return false;
    if (ignoreCase) {
        while (*p && *tag && ToLower(*p, encoding) == ToLower(*tag, encoding)) ++p, ++tag;
    } else {
        while (*p && *tag && *p == *tag) ++p, ++tag;
    }
    return *tag == 0;
}

const char* ReadName(const char* p) {
    if (!p || !*p || !(IsAlpha(static_cast<unsigned char>(*p)) || *p == '_')) return nullptr;
    while (*p &&
           (IsAlphaNum(static_cast<unsigned char>(*p)) || *p == '_' || *p == '-' || *p == '.' || *p == ':'))
        ++p;
    return p;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
unsigned HexValue(char c) {
    return c <= '9' ? static_cast<unsigned>(c - '0')
                    : static_cast<unsigned>((c >= 'a' ? c - 'a' : c - 'A') + 10);
}

// An entity at `p` ('&'): a character reference reaches to the next ';'
// wherever it is, a named one over its name, anything else over the '&'.
// `value` (single-byte encodings only) receives the character.
const char* GetEntity(const char* p, std::string* value) {
    if (p[1] == '#' && p[2]) {
        unsigned long ucs = 0;
        unsigned mult = 1;
        std::ptrdiff_t delta = 0;
        if (p[2] == 'x') {
            if (!p[3]) return nullptr;
            const char* q = std::strchr(p + 3, ';');
            if (!q) return nullptr;
            delta = q - p;
            for (--q; *q != 'x'; --q) {
                if (!IsHexDigit(*q)) return nullptr;
                ucs += mult * HexValue(*q);
                mult *= 16;
            }
        } else {
            const char* q = std::strchr(p + 2, ';');
            if (!q) return nullptr;
            delta = q - p;
            for (--q; *q != '#'; --q) {
                if (*q < '0' || *q > '9') return nullptr;
                ucs += mult * static_cast<unsigned>(*q - '0');
                mult *= 10;
            }
        }
        if (value) value->push_back(static_cast<char>(ucs));
        return p + delta + 1;
    }
    static const struct {
        const char* text;
        std::size_t length;
        char character;
    } kNamed[] = {
        {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};
    for (const auto& named : kNamed) {
        if (std::strncmp(named.text, p, named.length) == 0) {
            if (value) value->push_back(named.character);
            return p + named.length;
        }
    }
    return p + 1;
}

// One character of a text. In UTF-8 a lead byte takes its whole sequence,
// whatever bytes follow it.
const char* GetChar(const char* p, Encoding encoding, std::string* value) {
    const int length = encoding == TIXML_ENCODING_UTF8 ? Utf8Length(static_cast<unsigned char>(*p)) : 1;
    if (length == 1) {
        if (*p == '&') return GetEntity(p, value);
        if (value) value->push_back(*p);
        return p + 1;
    }
    return p + length;
}

// A text up to `endTag`; returns the position after it, or null when the
// document ends first or right after it.
const char* ReadText(const char* p, bool trimWhiteSpace, const char* endTag, Encoding encoding,
                     std::string* value) {
    if (!trimWhiteSpace) {
        while (p && *p && !StringEqual(p, endTag, false, encoding)) p = GetChar(p, encoding, value);
    } else {
        p = SkipWhiteSpace(p, encoding);
        while (p && *p && !StringEqual(p, endTag, false, encoding)) {
            p = IsWhiteSpace(*p) ? p + 1 : GetChar(p, encoding, nullptr);
        }
    }
    if (p && *p) p += std::strlen(endTag);
    return p && *p ? p : nullptr;
}

const char* ParseAttribute(const char* p, Encoding encoding, std::string* value,
                           std::string_view* name = nullptr) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p) return nullptr;
    const char* start = p;
    p = ReadName(p);
    if (!p || !*p) return nullptr;
    if (name) *name = std::string_view(start, static_cast<std::size_t>(p - start));
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p || *p != '=') return nullptr;
    p = SkipWhiteSpace(p + 1, encoding);
    if (!p || !*p) return nullptr;
    if (value) value->clear();
    if (*p == '\'') return ReadText(p + 1, false, "'", encoding, value);
    if (*p == '"') return ReadText(p + 1, false, "\"", encoding, value);
    while (*p && !IsWhiteSpace(*p) && *p != '/' && *p != '>') {
        if (*p == '\'' || *p == '"') return nullptr;
        if (value) value->push_back(*p);
        ++p;
    }
    return p;
}

// <?xml ... >: `encodingName`, when given, receives its encoding attribute.
const char* ParseDeclaration(const char* p, Encoding encoding, std::string* encodingName) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p || !StringEqual(p, "<?xml", true, encoding)) return nullptr;
    p += 5;
    while (p && *p) {
        if (*p == '>') return p + 1;
        p = SkipWhiteSpace(p, encoding);
        if (!p || !*p) break;
        if (StringEqual(p, "version", true, encoding) || StringEqual(p, "standalone", true, encoding)) {
            p = ParseAttribute(p, encoding, nullptr);
        } else if (StringEqual(p, "encoding", true, encoding)) {
            p = ParseAttribute(p, encoding, encodingName);
        } else {
            while (*p && *p != '>' && !IsWhiteSpace(*p)) ++p;
        }
    }
    return nullptr;
}

const char* ParseComment(const char* p, Encoding encoding) {
    p = SkipWhiteSpace(p, encoding);
    if (!StringEqual(p, "<!--", false, encoding)) return nullptr;
    p += 4;
    while (*p && !StringEqual(p, "-->", false, encoding)) ++p;
    return *p ? p + 3 : p;
}

const char* ParseUnknown(const char* p, Encoding encoding) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p || *p != '<') return nullptr;
    ++p;
    while (*p && *p != '>') ++p;
    return *p == '>' ? p + 1 : p;
}

const char* ParseCData(const char* p, Encoding encoding) {
    if (!StringEqual(p, "<![CDATA[", false, encoding)) return nullptr;
    p += 9;
    while (*p && !StringEqual(p, "]]>", false, encoding)) ++p;
    return ReadText(p, false, "]]>", encoding, nullptr);
}

// Character data inside an element, up to the next '<'.
const char* ParseText(const char* p, Encoding encoding) {
    p = ReadText(p, true, "<", encoding, nullptr);
    return p && *p ? p - 1 : nullptr;
}

enum class Node { None, Declaration, Comment, CData, Unknown, Element };

Node Identify(const char* p, Encoding encoding) {
    p = SkipWhiteSpace(p, encoding);
    if (!p || !*p || *p != '<') return Node::None;
    if (StringEqual(p, "<?xml", true, encoding)) return Node::Declaration;
    if (StringEqual(p, "<!--", false, encoding)) return Node::Comment;
    if (StringEqual(p, "<![CDATA[", false, encoding)) return Node::CData;
    if (StringEqual(p, "<!", false, encoding)) return Node::Unknown;
    if (IsAlpha(static_cast<unsigned char>(p[1])) || p[1] == '_') return Node::Element;
    return Node::Unknown;
}

const char* ParseLeaf(Node kind, const char* p, Encoding encoding, std::string* encodingName) {
    switch (kind) {
        case Node::Declaration:
            return ParseDeclaration(p, encoding, encodingName);
        case Node::Comment:
            return ParseComment(p, encoding);
        case Node::CData:
            return ParseCData(p, encoding);
        case Node::Unknown:
            return ParseUnknown(p, encoding);
        default:
            return nullptr;
    }
}

// An element with everything inside it, TinyXML's recursion unrolled: the
// open elements' names stand for its stack. Returns where TinyXML goes on
// after the element, or null where it stops.
const char* ParseElement(const char* p, Encoding encoding, std::size_t limit, VersionInfoShape& shape) {
    std::vector<std::string_view> open;
    // TinyXML refuses an element that names one attribute twice.
    std::unordered_set<std::string_view> attributes;
    bool entering = true;
    for (;;) {
        if (entering) {
            p = SkipWhiteSpace(p, encoding);
            if (!p || !*p || *p != '<') return nullptr;
            p = SkipWhiteSpace(p + 1, encoding);
            shape.depth = std::max(shape.depth, open.size() + 1);
            if (open.size() + 1 > limit) return nullptr;
            const char* name = p;
            p = ReadName(p);
            if (!p || !*p) return nullptr;
            open.emplace_back(name, static_cast<std::size_t>(p - name));
            bool empty = false;
            attributes.clear();
            for (;;) {
                p = SkipWhiteSpace(p, encoding);
                if (!p || !*p) return nullptr;
                if (*p == '/') {
                    if (p[1] != '>') return nullptr;
                    p += 2;
                    empty = true;
                    break;
                }
                if (*p == '>') {
                    ++p;
                    break;
                }
                std::string_view attribute;
                p = ParseAttribute(p, encoding, nullptr, &attribute);
                if (!p || !*p || !attributes.insert(attribute).second) return nullptr;
                shape.attributes = std::max(shape.attributes, attributes.size());
            }
            if (empty) {
                open.pop_back();
                if (open.empty()) return p;
            }
        }
        // The content of the innermost open element, from the start or after a child.
        entering = false;
        p = SkipWhiteSpace(p, encoding);
        while (p && *p) {
            if (*p != '<') {
                p = ParseText(p, encoding);
            } else if (StringEqual(p, "</", false, encoding)) {
                break;
            } else {
                const Node kind = Identify(p, encoding);
                if (kind == Node::Element) {
                    entering = true;
                    break;
                }
                p = ParseLeaf(kind, p, encoding, nullptr);
            }
            p = SkipWhiteSpace(p, encoding);
        }
        if (entering) continue;
        if (!p || !*p) return nullptr;
        const std::string_view name = open.back();
        if (std::strncmp(p + 2, name.data(), name.size()) != 0) return nullptr;
        p = SkipWhiteSpace(p + 2 + name.size(), encoding);
        if (!p || *p != '>') return nullptr;
        ++p;
        open.pop_back();
        if (open.empty()) return p;
    }
}

std::wstring FromThreadCodePage(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

// The text of `parent`'s first child element `name`, when that element's
// first child is text; empty otherwise.
std::wstring FirstTextOf(TiXmlElement& parent, const char* name) {
    TiXmlNode* element = parent.FirstChild(name);
    if (!element) return {};
    TiXmlNode* first = element->FirstChild();
    TiXmlText* text = first ? first->ToText() : nullptr;
    return text ? FromThreadCodePage(text->ValueStr()) : std::wstring();
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    const std::size_t length = wcslen(prefix);
    if (text.size() < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::string VersionInfoText(const std::string& body) {
    std::string text(body.c_str());
    // Four bytes are the longest step TinyXML takes.
    text.append(8, '\0');
    return text;
}

VersionInfoShape MeasureVersionInfo(const std::string& text, std::size_t depthLimit) {
    Encoding encoding = TIXML_ENCODING_UNKNOWN;
    VersionInfoShape shape;
    const char* p = text.c_str();
    if (!*p) return shape;
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) encoding = TIXML_ENCODING_UTF8;
    p = SkipWhiteSpace(p, encoding);
    while (p && *p && shape.depth <= depthLimit) {
        const Node kind = Identify(p, encoding);
        if (kind == Node::None) break;
        if (kind == Node::Element) {
            p = ParseElement(p, encoding, depthLimit, shape);
        } else if (kind == Node::Declaration && encoding == TIXML_ENCODING_UNKNOWN) {
            // The declaration's encoding decides how the rest is read.
            std::string name;
            p = ParseLeaf(kind, p, encoding, &name);
            const char* value = name.c_str();
            if (*value == 0 || StringEqual(value, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                StringEqual(value, "UTF8", true, TIXML_ENCODING_UNKNOWN)) {
                encoding = TIXML_ENCODING_UTF8;
            } else {
                encoding = TIXML_ENCODING_LEGACY;
            }
        } else {
            p = ParseLeaf(kind, p, encoding, nullptr);
        }
        p = SkipWhiteSpace(p, encoding);
    }
    shape.depth = std::min(shape.depth, depthLimit + 1);
    return shape;
}

bool IsAcceptableDownloadPage(const std::wstring& url) {
    if (url.empty() || url.size() >= INTERNET_MAX_URL_LENGTH) return false;
    for (wchar_t c : url) {
        if (c <= L' ' || c == 0x7F || c == L'\\') return false;
    }
    // What the shell is handed must itself read as a web address, whatever
    // the URL parser would make of it.
    if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) return false;
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    return parts.lpszHostName && parts.dwHostNameLength > 0;
}

VersionInfo ParseVersionInfo(const std::string& body) {
    VersionInfo info;
    const std::string text = VersionInfoText(body);
    const VersionInfoShape shape = MeasureVersionInfo(text, kMaxVersionInfoDepth);
    if (shape.depth > kMaxVersionInfoDepth || shape.attributes > kMaxVersionInfoAttributes) return info;
    TiXmlDocument document;
    document.Parse(text.c_str());
    if (document.Error()) return info;
    TiXmlNode* productNode = document.FirstChild("product");
    TiXmlElement* product = productNode ? productNode->ToElement() : nullptr;
    TiXmlNode* updateNode = product ? product->FirstChild("update") : nullptr;
    TiXmlElement* update = updateNode ? updateNode->ToElement() : nullptr;
    if (update) {
        info.latestVersion = FirstTextOf(*update, "latest_version");
        info.downloadPage = FirstTextOf(*update, "download_page");
    }
    // The page is opened with the shell: an address it would run or open
    // locally makes the whole answer unusable.
    if (!info.downloadPage.empty() && !IsAcceptableDownloadPage(info.downloadPage)) {
        info.latestVersion.clear();
        info.downloadPage.clear();
    }
    info.usable = !info.latestVersion.empty() && !info.downloadPage.empty();
    return info;
}

}  // namespace Lumo::Update
