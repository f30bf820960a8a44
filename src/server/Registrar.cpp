// Registry-script parser and the register/unregister walks.
#include "server/Registrar.h"

#include <cwctype>
#include <memory>
#include <optional>

#include "win/Errors.h"
#include "win/Boundary.h"
#include "win/Handle.h"

namespace Lumo::Registry {
namespace {

enum class Mark { None, NoRemove, ForceRemove, Delete };

struct Value {
    std::wstring name;  // empty for the key's default value
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct KeyNode {
    Mark mark = Mark::None;
    std::wstring name;
    std::vector<Value> values;
    std::vector<KeyNode> children;
};

struct RootNode {
    HKEY root;
    std::vector<KeyNode> keys;
};

[[noreturn]] void SyntaxError() { throw Lumo::ComError(DISP_E_EXCEPTION); }

struct Token {
    std::wstring text;
    bool quoted = false;
};

class Tokenizer {
public:
    Tokenizer(const std::wstring& script, const std::map<std::wstring, std::wstring>& replacements)
        : script_(script), replacements_(replacements) {}

    std::optional<Token> Next() {
        while (position_ < script_.size() && std::iswspace(script_[position_])) ++position_;
        if (position_ >= script_.size()) return std::nullopt;
        Token token;
        if (script_[position_] == L'\'') {
            token.quoted = true;
            ++position_;
            for (;;) {
                if (position_ >= script_.size()) SyntaxError();
                wchar_t c = script_[position_++];
                if (c == L'\'') {
                    if (position_ < script_.size() && script_[position_] == L'\'') {
                        token.text += L'\'';
                        ++position_;
                        continue;
                    }
                    break;
                }
                token.text += c;
            }
        } else {
            while (position_ < script_.size() && !std::iswspace(script_[position_])) {
                token.text += script_[position_++];
            }
        }
        token.text = Replace(token.text);
        return token;
    }

    Token Expect() {
        auto token = Next();
        if (!token) SyntaxError();
        return *token;
    }

    std::optional<Token> Peek() {
        size_t saved = position_;
        auto token = Next();
        position_ = saved;
        return token;
    }

private:
    // Substitutes inside the token, so replacement values may hold quotes or
    // spaces without changing the script's structure.
    std::wstring Replace(const std::wstring& text) const {
        std::wstring out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != L'%') {
                out += text[i];
                continue;
            }
            size_t end = text.find(L'%', i + 1);
            if (end == std::wstring::npos) SyntaxError();
            std::wstring name = text.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += L'%';
            } else {
                auto found = replacements_.find(name);
                if (found == replacements_.end()) SyntaxError();
                out += found->second;
            }
            i = end;
        }
        return out;
    }

    const std::wstring& script_;
    const std::map<std::wstring, std::wstring>& replacements_;
    size_t position_ = 0;
};

bool IsBrace(const Token& token, wchar_t brace) {
    return !token.quoted && token.text.size() == 1 && token.text[0] == brace;
}

bool Keyword(const Token& token, const wchar_t* word) {
    return !token.quoted && ::lstrcmpiW(token.text.c_str(), word) == 0;
}

HKEY RootKey(const std::wstring& name) {
    struct {
        const wchar_t* shortName;
        const wchar_t* longName;
        HKEY key;
    } static const roots[] = {
        {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKU", L"HKEY_USERS", HKEY_USERS},
        {L"HKCC", L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    for (const auto& root : roots) {
        if (::lstrcmpiW(name.c_str(), root.shortName) == 0 || ::lstrcmpiW(name.c_str(), root.longName) == 0) {
            return root.key;
        }
    }
    SyntaxError();
}

std::vector<BYTE> StringData(const std::wstring& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
}

Value ParseValue(Tokenizer& tokens, std::wstring name) {
    Token type = tokens.Expect();
    Token data = tokens.Expect();
    Value value;
    value.name = std::move(name);
    if (Keyword(type, L"s")) {
        value.type = REG_SZ;
        value.data = StringData(data.text);
    } else if (Keyword(type, L"e")) {
        value.type = REG_EXPAND_SZ;
        value.data = StringData(data.text);
    } else if (Keyword(type, L"d")) {
        wchar_t* end = nullptr;
        unsigned long number = std::wcstoul(data.text.c_str(), &end, 0);
        if (data.text.empty() || *end != L'\0') SyntaxError();
        DWORD dword = static_cast<DWORD>(number);
        const BYTE* bytes = reinterpret_cast<const BYTE*>(&dword);
        value.type = REG_DWORD;
        value.data.assign(bytes, bytes + sizeof(dword));
    } else if (Keyword(type, L"b")) {
        if (data.text.size() % 2) SyntaxError();
        value.type = REG_BINARY;
        for (size_t i = 0; i < data.text.size(); i += 2) {
            wchar_t* end = nullptr;
            std::wstring pair = data.text.substr(i, 2);
            unsigned long byte = std::wcstoul(pair.c_str(), &end, 16);
            if (*end != L'\0') SyntaxError();
            value.data.push_back(static_cast<BYTE>(byte));
        }
    } else {
        SyntaxError();
    }
    return value;
}

KeyNode ParseKey(Tokenizer& tokens, Token first);

// Parses the entries between '{' and '}'.
void ParseBody(Tokenizer& tokens, KeyNode& key) {
    for (;;) {
        Token token = tokens.Expect();
        if (IsBrace(token, L'}')) return;
        if (Keyword(token, L"val")) {
            Token name = tokens.Expect();
            if (!IsBrace(tokens.Expect(), L'=')) SyntaxError();
            key.values.push_back(ParseValue(tokens, name.text));
            continue;
        }
        key.children.push_back(ParseKey(tokens, token));
    }
}

KeyNode ParseKey(Tokenizer& tokens, Token first) {
    KeyNode key;
    if (Keyword(first, L"NoRemove")) {
        key.mark = Mark::NoRemove;
        first = tokens.Expect();
    } else if (Keyword(first, L"ForceRemove")) {
        key.mark = Mark::ForceRemove;
        first = tokens.Expect();
    } else if (Keyword(first, L"Delete")) {
        key.mark = Mark::Delete;
        first = tokens.Expect();
    }
    if (IsBrace(first, L'{') || IsBrace(first, L'}') || IsBrace(first, L'=') || first.text.empty()) {
        SyntaxError();
    }
    key.name = first.text;
    auto next = tokens.Peek();
    if (next && IsBrace(*next, L'=')) {
        tokens.Expect();
        key.values.push_back(ParseValue(tokens, std::wstring()));
        next = tokens.Peek();
    }
    if (next && IsBrace(*next, L'{')) {
        tokens.Expect();
        ParseBody(tokens, key);
    }
    return key;
}

std::vector<RootNode> ParseScript(const std::wstring& script,
                                  const std::map<std::wstring, std::wstring>& replacements) {
    Tokenizer tokens(script, replacements);
    std::vector<RootNode> roots;
    while (auto token = tokens.Next()) {
        RootNode root{RootKey(token->text), {}};
        if (!IsBrace(tokens.Expect(), L'{')) SyntaxError();
        for (;;) {
            Token entry = tokens.Expect();
            if (IsBrace(entry, L'}')) break;
            root.keys.push_back(ParseKey(tokens, entry));
        }
        roots.push_back(std::move(root));
    }
    return roots;
}

void Check(LSTATUS status) {
    if (status != ERROR_SUCCESS) throw Lumo::ComError(HRESULT_FROM_WIN32(status));
}

void SetValue(HKEY key, const Value& value) {
    Check(::RegSetValueExW(key, value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                           value.data.data(), static_cast<DWORD>(value.data.size())));
}

void RegisterKey(HKEY parent, const KeyNode& node) {
    if (node.mark == Mark::Delete) {
        Check(Registrar::DeleteTree(parent, node.name));
        return;
    }
    if (node.mark == Mark::ForceRemove) Check(Registrar::DeleteTree(parent, node.name));
    Lumo::Win::UniqueKey key;
    Check(::RegCreateKeyExW(parent, node.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
    for (const Value& value : node.values) SetValue(key.get(), value);
    for (const KeyNode& child : node.children) RegisterKey(key.get(), child);
}

bool HasSubkeys(HKEY key) {
    DWORD subkeys = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return true;
    }
    return subkeys != 0;
}

void UnregisterKey(HKEY parent, const KeyNode& node) {
    if (node.mark == Mark::Delete) return;
    if (node.mark == Mark::ForceRemove) {
        Check(Registrar::DeleteTree(parent, node.name));
        return;
    }
    Lumo::Win::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_READ | KEY_WRITE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return;
    Check(status);
    for (const KeyNode& child : node.children) UnregisterKey(key.get(), child);
    for (const Value& value : node.values) {
        if (!value.name.empty()) ::RegDeleteValueW(key.get(), value.name.c_str());
    }
    if (node.mark == Mark::NoRemove || HasSubkeys(key.get())) return;
    key.reset();
    status = ::RegDeleteKeyW(parent, node.name.c_str());
    if (status != ERROR_FILE_NOT_FOUND) Check(status);
}

}  // namespace

void Registrar::AddReplacement(const std::wstring& name, const std::wstring& value) {
    replacements_[name] = value;
}

void Registrar::Run(const std::wstring& script, bool registering) const {
    std::vector<RootNode> roots = ParseScript(script, replacements_);
    for (const RootNode& root : roots) {
        for (const KeyNode& key : root.keys) {
            if (registering) {
                RegisterKey(root.root, key);
            } else {
                UnregisterKey(root.root, key);
            }
        }
    }
}

HRESULT Registrar::RunResource(HMODULE module, UINT id, bool registering) const noexcept {
    return Lumo::Win::ComBoundary(E_FAIL, [&]() -> HRESULT {
        HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
        if (!resource) return HRESULT_FROM_WIN32(::GetLastError());
        HGLOBAL loaded = ::LoadResource(module, resource);
        const auto* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
        DWORD size = ::SizeofResource(module, resource);
        if (!bytes) return HRESULT_FROM_WIN32(::GetLastError());
        std::wstring script;
        if (size >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE) {
            script.assign(reinterpret_cast<const wchar_t*>(bytes + 2), (size - 2) / sizeof(wchar_t));
        } else {
            int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
            script.resize(length);
            if (length)
                ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), script.data(), length);
        }
        Run(script, registering);
        return S_OK;
    });
}

HRESULT Registrar::RunResources(HMODULE module, std::initializer_list<UINT> ids,
                                bool registering) const noexcept {
    const UINT* order = ids.begin();
    const size_t count = ids.size();
    HRESULT hr = S_OK;
    for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
        hr = RunResource(module, order[registering ? i : count - 1 - i], registering);
    }
    return hr;
}

LSTATUS Registrar::DeleteTree(HKEY parent, const std::wstring& name) {
    Lumo::Win::UniqueKey key;
    LSTATUS status = ::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    // Delete children first; enumerate from the start each time as the list shrinks.
    for (;;) {
        wchar_t child[256];
        DWORD length = 256;
        status = ::RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        status = DeleteTree(key.get(), child);
        if (status != ERROR_SUCCESS) return status;
    }
    key.reset();
    status = ::RegDeleteKeyW(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace Lumo::Registry
