// The Win32 types and declarations the portable sources see when they are
// built natively for the fuzz targets. The build makes <windows.h>,
// <shlobj.h>, <wininet.h> and the other system headers those sources include
// forward here. The widths are Windows' (DWORD and LONG are 32-bit, wchar_t
// is 16-bit through -fshort-wchar). Win32Stubs.cpp models the functions the
// fuzzed paths call; of those only named by the code around them, the ones
// the linker asks for stop the program there, the others stay declared. A
// header of src/ that starts naming another Win32 type or function stops the
// native build until it is declared here.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(wchar_t) == 2, "build with -fshort-wchar: Windows' wchar_t is a UTF-16 code unit");

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using LONG_PTR = std::intptr_t;
using SIZE_T = std::size_t;
using WCHAR = wchar_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPBOOL = BOOL*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPCOLESTR = const wchar_t*;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;
using HRESULT = std::int32_t;
using LRESULT = LONG_PTR;
using SFGAOF = ULONG;
using HANDLE = void*;
using HGLOBAL = HANDLE;
using HLOCAL = HANDLE;
struct HWND__;
struct HMENU__;
struct HHOOK__;
struct HKEY__;
struct HDC__;
struct HINSTANCE__;
struct HIMAGELIST__;
struct HGDIOBJ__;
using HWND = HWND__*;
using HMENU = HMENU__*;
using HHOOK = HHOOK__*;
using HKEY = HKEY__*;
using HDC = HDC__*;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using HIMAGELIST = HIMAGELIST__*;
using HGDIOBJ = HGDIOBJ__*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    };
    LONGLONG QuadPart;
};

struct RECT {
    LONG left, top, right, bottom;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore, fIncUpdate;
    BYTE rgbReserved[32];
};

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow, dwReserved0, dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

#define MAKELRESULT(low, high) ((LRESULT)(DWORD)(((DWORD)(WORD)(low)) | (((DWORD)(WORD)(high)) << 16)))
#define MNC_EXECUTE 2
#define MNC_SELECT 3

// Errors, files, code pages, locales.
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_READ_FAULT 30u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_BROKEN_PIPE 109u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_CANCELLED 1223u
#define ERROR_FILE_TOO_LARGE 223u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define MB_ERR_INVALID_CHARS 8u
#define ERROR_INTERNET_INVALID_URL 12005u
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006u
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_SHARE_READ 1u
#define FILE_SHARE_WRITE 2u
#define FILE_SHARE_DELETE 4u
#define GENERIC_READ 0x80000000u
#define OPEN_EXISTING 3u
#define CP_ACP 0u
#define CP_THREAD_ACP 3u
#define CP_UTF8 65001u
#define LOCALE_USER_DEFAULT 0x0400u
#define LCMAP_LOWERCASE 0x100u
#define LCMAP_UPPERCASE 0x200u
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u

extern "C" {
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int size, LPWSTR wide, int capacity);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int size, LPSTR bytes, int capacity,
                               LPCSTR defaultChar, LPBOOL usedDefault);
DWORD WINAPI CharUpperBuffW(LPWSTR text, DWORD length);
int WINAPI LCMapStringW(DWORD locale, DWORD flags, LPCWSTR source, int size, LPWSTR target, int capacity);
int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);
BOOL WINAPI FindClose(HANDLE find);
DWORD WINAPI GetFullPathNameW(LPCWSTR path, DWORD capacity, LPWSTR buffer, LPWSTR* filePart);
DWORD WINAPI GetShortPathNameW(LPCWSTR path, LPWSTR buffer, DWORD capacity);
// Named only by the code around the fuzzed functions (see above).
BOOL WINAPI CloseHandle(HANDLE handle);
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, void* security, DWORD disposition,
                          DWORD flags, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, void* overlapped);
BOOL WINAPI GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPWSTR buffer, DWORD size,
                            void* arguments);
HLOCAL WINAPI LocalFree(HLOCAL memory);
BOOL WINAPI DestroyMenu(HMENU menu);
BOOL WINAPI UnhookWindowsHookEx(HHOOK hook);
LONG WINAPI RegCloseKey(HKEY key);
BOOL WINAPI DeleteObject(HGDIOBJ object);
BOOL WINAPI ImageList_Destroy(HIMAGELIST list);
BOOL WINAPI FreeLibrary(HMODULE module);
HGLOBAL WINAPI GlobalFree(HGLOBAL memory);
LPVOID WINAPI GlobalLock(HGLOBAL memory);
BOOL WINAPI GlobalUnlock(HGLOBAL memory);
SIZE_T WINAPI GlobalSize(HGLOBAL memory);
HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI DeleteDC(HDC dc);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);
int WINAPI GetWindowTextLengthW(HWND window);
int WINAPI GetWindowTextW(HWND window, LPWSTR text, int capacity);
}

// COM.
struct GUID {
    DWORD Data1;
    WORD Data2, Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLSCTX_INPROC_SERVER 1u
#define STGM_READ 0u

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
struct IPersistFile : IUnknown {
    virtual HRESULT Load(LPCOLESTR fileName, DWORD mode) = 0;
};
struct IShellLinkW : IUnknown {
    virtual HRESULT GetPath(LPWSTR file, int capacity, WIN32_FIND_DATAW* data, DWORD flags) = 0;
    virtual HRESULT Resolve(HWND window, DWORD flags) = 0;
};
struct SAFEARRAY;
extern const IID IID_IPersistFile;
extern const IID IID_IShellLinkW;
extern const CLSID CLSID_ShellLink;

// Shell.
struct ITEMIDLIST;
using LPITEMIDLIST = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using PCUIDLIST_RELATIVE = const ITEMIDLIST*;
using PCUITEMID_CHILD = const ITEMIDLIST*;
#define SFGAO_CAPABILITYMASK 0x00000177u
#define SFGAO_LINK 0x00010000u
#define SFGAO_STREAM 0x00400000u
#define SFGAO_FILESYSANCESTOR 0x10000000u
#define SFGAO_FOLDER 0x20000000u
#define SFGAO_FILESYSTEM 0x40000000u
#define SLR_NO_UI 0x1
#define SLR_NOUPDATE 0x8
#define SLR_NOSEARCH 0x10
#define SLR_NOTRACK 0x20
#define SLR_NOLINKINFO 0x40
#define SLGP_UNCPRIORITY 0x2

extern "C" {
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
void WINAPI CoTaskMemFree(void* memory);
void WINAPI ILFree(LPITEMIDLIST list);
HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
}

// WinINet's URL cracking.
#define INTERNET_MAX_URL_LENGTH 2084
enum INTERNET_SCHEME {
    INTERNET_SCHEME_PARTIAL = -2,
    INTERNET_SCHEME_UNKNOWN = -1,
    INTERNET_SCHEME_DEFAULT = 0,
    INTERNET_SCHEME_FTP = 1,
    INTERNET_SCHEME_GOPHER = 2,
    INTERNET_SCHEME_HTTP = 3,
    INTERNET_SCHEME_HTTPS = 4,
    INTERNET_SCHEME_FILE = 5,
    INTERNET_SCHEME_NEWS = 6,
    INTERNET_SCHEME_MAILTO = 7,
};
struct URL_COMPONENTSW {
    DWORD dwStructSize;
    LPWSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPWSTR lpszHostName;
    DWORD dwHostNameLength;
    WORD nPort;
    LPWSTR lpszUserName;
    DWORD dwUserNameLength;
    LPWSTR lpszPassword;
    DWORD dwPasswordLength;
    LPWSTR lpszUrlPath;
    DWORD dwUrlPathLength;
    LPWSTR lpszExtraInfo;
    DWORD dwExtraInfoLength;
};
extern "C" BOOL WINAPI InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTSW* parts);
