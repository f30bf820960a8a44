// PowerShellStandIn: a test double of Windows PowerShell for the installer round trip. Put where the setup
// looks for powershell.exe, it records each command line, refuses one PowerShell could not take as one
// whole command of package registration, and keeps the registrations, so that registering the same
// package twice fails as Windows fails it (0x80073CF9).
//
// Environment: QV_POWERSHELL_RECORD names the record file (UTF-8, one line per run:
// program|command|QUELVAR_FOLDER|verdict); the registrations go to "<record>.state".
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <set>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    std::string result(text.size() * 3, '\0');
    result.resize(static_cast<size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                              static_cast<int>(result.size()), nullptr, nullptr)));
    return result;
}

std::wstring Environment(const wchar_t* name) {
    static wchar_t buffer[32768];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
    return std::wstring(buffer, length < 32768 ? length : 0);
}

bool Has(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

// Why PowerShell would not read `command` as one whole command, or "": quotation marks and brackets
// balanced, nothing the command line would change, only the cmdlets and parameters of registration.
std::string Malformed(const std::wstring& command) {
    static const std::set<std::wstring> known = {L"Get-AppxPackage",
                                                 L"Remove-AppxPackage",
                                                 L"Add-AppxPackage",
                                                 L"Get-AppxProvisionedPackage",
                                                 L"Remove-AppxProvisionedPackage",
                                                 L"Where-Object",
                                                 L"Join-Path",
                                                 L"Select-Object",
                                                 L"Add-Type",
                                                 L"-Name",
                                                 L"-AllUsers",
                                                 L"-Path",
                                                 L"-ExternalLocation",
                                                 L"-Stage",
                                                 L"-Online",
                                                 L"-EQ",
                                                 L"-eq",
                                                 L"-and",
                                                 L"-First",
                                                 L"-AssemblyName"};
    if (command.rfind(L"$ErrorActionPreference = 'Stop'; ", 0) != 0)
        return "does not stop at the first error";
    std::wstring open, word;
    bool quoted = false;
    for (wchar_t c : command + L" ") {
        if (quoted || iswalnum(c) || c == L'-' || c == L'.' || c == L'_') {
            if (quoted)
                quoted = c != L'\'';
            else
                word += c;
            continue;
        }
        // A cmdlet (Verb-Noun) or a parameter (-Name) must be one of registration's.
        const bool named = word.size() > 1 && (word[0] == L'-' || (iswupper(word[0]) && Has(word, L"-"))) &&
                           !Has(word, L".");
        if (named && !known.count(word)) return "unknown cmdlet or parameter " + Utf8(word);
        word.clear();
        const size_t closing = std::wstring(L")}]").find(c);
        if (c == L'"' || c == L'`') return "holds a character the command line would change";
        if (c == L'\'') quoted = true;
        if (Has(L"({[", std::wstring(1, c).c_str())) open += c;
        if (closing != std::wstring::npos && (open.empty() || open.back() != L"({["[closing]))
            return "unbalanced brackets";
        if (closing != std::wstring::npos) open.pop_back();
    }
    if (quoted) return "unbalanced quotation marks";
    return open.empty() ? "" : "unbalanced brackets";
}

}  // namespace

int wmain() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const std::wstring record = Environment(L"QV_POWERSHELL_RECORD"), folder = Environment(L"QUELVAR_FOLDER");
    const std::wstring command = count == 7 ? arguments[6] : L"";
    std::string verdict;
    std::wstring switches;
    for (int i = 1; i < count && i < 6; ++i) switches += std::wstring(arguments[i]) + L" ";
    if (count != 7 || switches != L"-NoProfile -NonInteractive -ExecutionPolicy Bypass -Command ") {
        verdict = "MALFORMED: not the six arguments of one command";
    } else if (std::string why = Malformed(command); !why.empty()) {
        verdict = "MALFORMED: " + why;
    } else if (Has(command, L"QUELVAR_FOLDER") &&
               ::GetFileAttributesW((folder + L"\\Quelvar.msix").c_str()) == INVALID_FILE_ATTRIBUTES) {
        verdict = "MALFORMED: no Quelvar.msix in QUELVAR_FOLDER";
    }

    // The registrations: "user <folder>", "staged <folder>", "provisioned".
    std::set<std::string> state;
    std::ifstream in((record + L".state").c_str());
    for (std::string line; std::getline(in, line);) state.insert(line);
    in.close();
    auto any = [&](const std::string& kind) {
        for (const std::string& line : state)
            if (line.rfind(kind, 0) == 0) return true;
        return false;
    };
    auto drop = [&](const std::string& kind) {
        for (auto it = state.begin(); it != state.end();)
            it = it->rfind(kind, 0) == 0 ? state.erase(it) : ++it;
    };
    const std::string kind = Has(command, L"-Stage") ? "staged " : "user ";
    if (!verdict.empty()) {
        // Refused: nothing registered.
    } else if (Has(command, L"Remove-AppxProvisionedPackage")) {
        state.erase("provisioned");
    } else if (Has(command, L"Remove-AppxPackage")) {
        drop("user ");
        if (Has(command, L"-AllUsers")) drop("staged ");
    } else if (Has(command, L"Add-AppxPackage") && any(kind)) {
        verdict = "0x80073CF9: already registered";
    } else if (Has(command, L"Add-AppxPackage")) {
        state.insert(kind + Utf8(folder));
    } else if (Has(command, L"ProvisionPackageForAllUsersAsync")) {
        if (any("staged "))
            state.insert("provisioned");
        else
            verdict = "0x80073CF1: not staged";
    }
    std::ofstream((record + L".state").c_str(), std::ios::binary) << [&] {
        std::string lines;
        for (const std::string& line : state) lines += line + "\n";
        return lines;
    }();
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (verdict.empty()) verdict = "ok";
    std::ofstream(record.c_str(), std::ios::app | std::ios::binary)
        << Utf8(self) << "|" << Utf8(command) << "|" << Utf8(folder) << "|" << verdict << "\n";
    std::printf("%s\n", verdict.c_str());
    ::LocalFree(arguments);
    return verdict == "ok" ? 0 : verdict.rfind("MALFORMED", 0) == 0 ? 3 : 1;
}
