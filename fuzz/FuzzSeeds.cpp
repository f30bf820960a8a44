// Writes the seeds of the fuzz targets, one folder per target: data files
// made by the module's own writer, the published version.xml and answers
// built from it, messages for every digest, and texts for every helper.
//
// FuzzSeeds <folder> <version.xml>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/DataArchive.h"

namespace {

std::filesystem::path g_folder;

void Write(const char* target, const std::string& name, const std::string& bytes) {
    const std::filesystem::path folder = g_folder / target;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// std::to_wstring would format through the C library's 32-bit wide functions.
std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

void DataFiles() {
    const auto write = [](const std::string& name, const Lumo::Data::AllData& data) {
        Write("DataFileFuzz", name, Lumo::Data::WriteDataArchive(data));
    };
    Lumo::Data::AllData defaults;
    defaults.favorites->revision = 1;
    write("defaults", defaults);

    Lumo::Data::AllData used;
    used.favorites->revision = 7;
    used.favorites->folders = {L"C:\\Work", L"D:\\Photos\\2024", L"\\\\server\\share\\docs",
                               L"E:\\B\u00e9la \u4e2d"};
    used.navigateHistory->items = {L"C:\\Work", L"F:\\"};
    used.settings->sortMode = Lumo::Data::SortByPathName;
    used.userSettings->revision = 3;
    used.userSettings->limitMenuWidth = false;
    used.userSettings->topFavoriteLimit = 40;
    used.userSettings->historyDepth = 2;
    write("used", used);

    Lumo::Data::AllData older = used;
    older.dataVersion = 2;
    write("older", older);

    Lumo::Data::AllData newer = defaults;
    newer.dataVersion = Lumo::Data::AllData::CurrentDataVersion + 1;
    write("newer", newer);

    // Empty texts, a lone surrogate, many folders and a long one.
    Lumo::Data::AllData odd;
    odd.favorites->folders = {L"", std::wstring(1, static_cast<wchar_t>(0xD800)), L""};
    odd.navigateHistory->items = {L"", L"C:"};
    write("odd", odd);
    Lumo::Data::AllData many;
    for (int i = 0; i < 200; ++i)
        many.favorites->folders.push_back(L"C:\\Folder\\" + Wide(std::to_string(i)));
    many.favorites->folders.push_back(std::wstring(1000, L'x'));
    for (int i = 0; i < 20; ++i) many.navigateHistory->items.push_back(L"D:\\" + Wide(std::to_string(i)));
    write("many", many);
}

void VersionAnswers(const std::string& published) {
    const auto write = [](const std::string& name, const std::string& text) {
        Write("VersionInfoFuzz", name, text);
    };
    write("published", published);
    write("bom", "\xEF\xBB\xBF" + published);
    std::string latin = published;
    latin.replace(latin.find("UTF-8"), 5, "ISO-8859-1");
    write("latin1", latin);
    const std::string update =
        "<update><latest_version>1.6.0.2</latest_version>"
        "<download_page>https://www.example.org/q/</download_page></update>";
    // Nested to the limit and one past it.
    for (std::size_t depth : {std::size_t{16}, std::size_t{17}}) {
        std::string open, close;
        for (std::size_t level = 2; level < depth - 1; ++level) {
            open += "<w" + std::to_string(level) + ">";
            close = "</w" + std::to_string(level) + ">" + close;
        }
        write("depth" + std::to_string(depth), "<product>" + open + update + close + "</product>");
    }
    // As many attributes as allowed and one more.
    for (int count : {32, 33}) {
        std::string element = "<product";
        for (int i = 0; i < count; ++i) element += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
        write("attributes" + std::to_string(count), element + ">" + update + "</product>");
    }
    write("nodes",
          "<?xml version='1.0'?><!-- note --><!DOCTYPE product><product><update>"
          "<latest_version>1.6&amp;&#x41;&#66;</latest_version><![CDATA[x]]>"
          "<download_page>http://example.org:8080/a?b#c</download_page></update></product>");
    write("script",
          "<product><update><latest_version>2</latest_version>"
          "<download_page>javascript:alert(1)</download_page></update></product>");
}

void HashMessages() {
    // Selector, format and read faults, piece seed, message.
    const std::size_t lengths[] = {0, 3, 55, 56, 64, 111, 112, 128, 1000};
    for (unsigned algorithm = 0; algorithm < 9; ++algorithm) {
        for (std::size_t i = 0; i < std::size(lengths); ++i) {
            std::string input{static_cast<char>(algorithm), static_cast<char>(1 + i % 4 + (i == 4 ? 8 : 0)),
                              static_cast<char>(i * 37)};
            for (std::size_t k = 0; k < lengths[i]; ++k) input += static_cast<char>('a' + (k * 7 + i) % 26);
            Write("HashFuzz", "a" + std::to_string(algorithm) + "-" + std::to_string(lengths[i]), input);
        }
    }
}

void Texts() {
    const auto write = [](const std::string& name, int helper, std::uint16_t bits,
                          const std::string& payload) {
        Write("TextFuzz", name,
              std::string{static_cast<char>(helper), static_cast<char>(bits & 0xFF),
                          static_cast<char>(bits >> 8)} +
                  payload);
    };
    const std::wstring longPath = L"C:\\Users\\someone\\" + std::wstring(240, L'd') + L"\\..\\file.txt";
    const std::wstring paths[] = {L"C:\\Work\\report.txt",
                                  L"\\\\server\\share\\folder\\a.b.c",
                                  L"\\\\?\\D:\\x",
                                  L"relative\\name",
                                  L"C:/mixed/./slashes/../x.",
                                  longPath,
                                  L"\\\\server\\share\\" + std::wstring(260, L's')};
    int number = 0;
    for (const std::wstring& path : paths) {
        const std::string tag = std::to_string(number++);
        write("path-" + tag, 0, 4, Utf16(path));
        write("path-full-" + tag, 0, 2 | 4, Utf16(path));
        write("path-stored-" + tag, 0, 1 | (8 << 4), Utf16(path));
        write("long-" + tag, 1, 0, Utf16(path));
    }
    // Kinds: 1 file, 2 folder, 3 shortcut, 4 drive (the first unit of a line).
    write("names", 2, 0x0000 | 0x7F,
          Utf16(L"\x01"
                L"C:\\a\\b.txt\n\x02"
                L"C:\\a\n\x04"
                L"D:\\\n\x03"
                L"C:\\l.lnk"));
    write("names-sorted", 2, 0x0200 | 0x80 | 0x43,
          Utf16(L"\x01"
                L"C:\\Z.TXT\n\x01"
                L"c:\\a.txt\n\x02"
                L"C:\\\u00c9"));
    write("compare", 3, 0, Utf16(L"AB cd\r\nEF|abcdef"));
    write("decode-utf8", 4, 0, "\xEF\xBB\xBFline one\r\nl\xC3\xADne two\n");
    write("decode-utf16", 4, 1, "\xFF\xFE" + Utf16(L"one\r\ntwo"));
    write("decode-ansi", 4, 2, "caf\xE9\x80\r\n");
    write("page", 5, 0, Utf16(L"https://user:pw@www.example.org:443/q?x#y"));
    write("page-file", 5, 0, Utf16(L"file:///C:/x"));
    write("menu", 6, 'Q', Utf16(L"\x5101\x5103\x4101"));
    // Lists: the choice picks the list's extension (.sha256, .md5, .sfv, .gost, none).
    write("list-gnu", 7, 0,
          "\xEF\xBB\xBF" + std::string(64, 'a') + "  with space.txt\r\n\\" + std::string(64, 'B') +
              " *new\\nline\\\\x\n# note\n\nbroken\n");
    write("list-bsd", 7, 4, "SHA256 (a (1)) = " + std::string(64, 'c') + "\n\\MD5 (b\\\\c) = " + std::string(32, 'd'));
    write("list-sfv", 7, 2, "; made by hand\r\n#notes.txt 352441C2\r\nname with spaces  0000ABCD\r\ncaf\xE9 12345678");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: FuzzSeeds <folder> <version.xml>\n");
        return 2;
    }
    g_folder = argv[1];
    std::ifstream published(argv[2], std::ios::binary);
    const std::string version((std::istreambuf_iterator<char>(published)), std::istreambuf_iterator<char>());
    if (version.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    DataFiles();
    VersionAnswers(version);
    HashMessages();
    Texts();
    return 0;
}
