// PowerShellStandIn: a test double of Windows PowerShell for the installer round trip. Put where the setup
// looks for powershell.exe, it records each command line it is given, refuses one that PowerShell could
// not take as one whole command, and keeps a small record of package registrations so that a second
// registration of the same package fails as Windows fails it (0x80073CF9).
//
// Environment: QV_POWERSHELL_RECORD names the record file (UTF-8, one line per run:
// program|command|QUELVAR_FOLDER|verdict); the registrations go to "<record>.state".
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                          nullptr, nullptr);
    return result;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[32768];
    DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
    return length && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

// Why PowerShell would not read `command` as one complete command, or "" when it would: quotation
// marks and brackets balanced, only the cmdlets and parameters of package registration, and the
// install folder taken from the environment rather than written into the command.
std::string Malformed(const std::wstring& command) {
    static const std::set<std::wstring> cmdlets = {L"Get-AppxPackage",
                                                   L"Remove-AppxPackage",
                                                   L"Add-AppxPackage",
                                                   L"Get-AppxProvisionedPackage",
                                                   L"Remove-AppxProvisionedPackage",
                                                   L"Where-Object",
                                                   L"Join-Path",
                                                   L"Select-Object",
                                                   L"Add-Type"};
    static const std::set<std::wstring> parameters = {
        L"-Name", L"-AllUsers", L"-Path",  L"-ExternalLocation", L"-Stage", L"-Online", L"-EQ",
        L"-eq",   L"-and",      L"-First", L"-AssemblyName"};
    const std::wstring prefix = L"$ErrorActionPreference = 'Stop'; ";
    if (command.compare(0, prefix.size(), prefix) != 0) return "does not stop at the first error";
    std::vector<wchar_t> open;
    bool quoted = false;
    std::wstring word;
    auto endWord = [&]() -> std::string {
        std::wstring w = word;
        word.clear();
        if (w.size() > 1 && w[0] == L'-' && !parameters.count(w)) return "unknown parameter " + Utf8(w);
        const size_t dash = w.find(L'-');
        if (dash != std::wstring::npos && dash > 0 && iswupper(w[0]) && w.find(L'.') == std::wstring::npos &&
            !cmdlets.count(w)) {
            return "unknown cmdlet " + Utf8(w);
        }
        return {};
    };
    for (wchar_t c : command + L" ") {
        if (quoted) {
            if (c == L'\'') quoted = false;
            continue;
        }
        if (iswalnum(c) || c == L'-' || c == L'.' || c == L'_') {
            word += c;
            continue;
        }
        if (std::string why = endWord(); !why.empty()) return why;
        if (c == L'"' || c == L'`') return "holds a character the command line would change";
        if (c == L'\'') {
            quoted = true;
        } else if (c == L'(' || c == L'{' || c == L'[') {
            open.push_back(c);
        } else if (c == L')' || c == L'}' || c == L']') {
            const wchar_t match = c == L')' ? L'(' : c == L'}' ? L'{' : L'[';
            if (open.empty() || open.back() != match) return "unbalanced brackets";
            open.pop_back();
        }
    }
    if (quoted) return "unbalanced quotation marks";
    if (!open.empty()) return "unbalanced brackets";
    return {};
}

bool Has(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

}  // namespace

int wmain() {
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const std::wstring record = Environment(L"QV_POWERSHELL_RECORD");
    const std::wstring folder = Environment(L"QUELVAR_FOLDER");
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);

    std::wstring command;
    std::string verdict;
    const wchar_t* expected[] = {L"-NoProfile", L"-NonInteractive", L"-ExecutionPolicy", L"Bypass",
                                 L"-Command"};
    if (count != 7) {
        verdict = "MALFORMED: " + std::to_string(count - 1) + " arguments instead of 6";
    } else {
        for (int i = 0; i < 5; ++i) {
            if (std::wstring(arguments[i + 1]) != expected[i]) verdict = "MALFORMED: unexpected switches";
        }
        command = arguments[6];
        if (verdict.empty()) {
            std::string why = Malformed(command);
            if (!why.empty()) verdict = "MALFORMED: " + why;
        }
        if (verdict.empty() && Has(command, L"QUELVAR_FOLDER") &&
            ::GetFileAttributesW((folder + L"\\Quelvar.msix").c_str()) == INVALID_FILE_ATTRIBUTES) {
            verdict = "MALFORMED: no Quelvar.msix in QUELVAR_FOLDER";
        }
    }

    // The registrations: "user <folder>", "staged <folder>", "provisioned".
    std::set<std::string> state;
    {
        std::ifstream in((record + L".state").c_str());
        for (std::string line; std::getline(in, line);) state.insert(line);
    }
    auto dropPrefix = [&](const std::string& prefix) {
        for (auto it = state.begin(); it != state.end();) {
            it = it->compare(0, prefix.size(), prefix) == 0 ? state.erase(it) : std::next(it);
        }
    };
    auto any = [&](const std::string& prefix) {
        for (const std::string& line : state)
            if (line.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    };
    int status = 0;
    if (!verdict.empty()) {
        status = 3;
    } else if (Has(command, L"Remove-AppxProvisionedPackage")) {
        state.erase("provisioned");
    } else if (Has(command, L"Remove-AppxPackage -AllUsers")) {
        dropPrefix("user ");
        dropPrefix("staged ");
    } else if (Has(command, L"Remove-AppxPackage")) {
        dropPrefix("user ");
    } else if (Has(command, L"Add-AppxPackage")) {
        const std::string kind = Has(command, L"-Stage") ? "staged " : "user ";
        if (any(kind)) {
            status = 1;
            verdict = "0x80073CF9: already registered";
        } else {
            state.insert(kind + Utf8(folder));
        }
    } else if (Has(command, L"ProvisionPackageForAllUsersAsync")) {
        if (!any("staged ")) {
            status = 1;
            verdict = "0x80073CF1: not staged";
        } else {
            state.insert("provisioned");
        }
    }
    if (verdict.empty()) verdict = "ok";
    {
        std::ofstream out((record + L".state").c_str(), std::ios::trunc | std::ios::binary);
        for (const std::string& line : state) out << line << "\n";
    }
    std::ofstream out(record.c_str(), std::ios::app | std::ios::binary);
    out << Utf8(self) << "|" << Utf8(command) << "|" << Utf8(folder) << "|" << verdict << "\n";
    ::printf("%s\n", verdict.c_str());
    ::LocalFree(arguments);
    return status;
}
