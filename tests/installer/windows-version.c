/* Prints the Windows version a program sees, as "major.minor.build" twice: from RtlGetVersion and from
   the shared data page that NSIS reads. (GetVersionEx would say 6.2 to this program, which declares no
   supported Windows in a manifest, as Windows itself does.) */
#include <windows.h>
#include <stdio.h>

typedef LONG(WINAPI* RtlGetVersionFn)(OSVERSIONINFOEXW*);

int main(void) {
    OSVERSIONINFOEXW rtl = {sizeof(rtl)};
    RtlGetVersionFn get = (RtlGetVersionFn)(void*)GetProcAddress(GetModuleHandleW(L"ntdll"), "RtlGetVersion");
    if (!get || get(&rtl) != 0) return 1;
    const volatile BYTE* shared = (const volatile BYTE*)0x7ffe0000;
    printf("%lu.%lu.%lu %lu.%lu.%lu\n", rtl.dwMajorVersion, rtl.dwMinorVersion, rtl.dwBuildNumber,
           *(const volatile ULONG*)(shared + 0x26c), *(const volatile ULONG*)(shared + 0x270),
           *(const volatile ULONG*)(shared + 0x260));
    return 0;
}
