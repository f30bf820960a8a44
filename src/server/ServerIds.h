// Fixed identifiers of the server and its registration.
#pragma once

#include <windows.h>

// Registry-script resources (type "REGISTRY").
#define IDR_QUELVAR_APPID 101
#define IDR_GOTOFAVORITE 102

#ifndef RC_INVOKED
inline constexpr UINT kAppIdScriptId = IDR_QUELVAR_APPID;
inline constexpr UINT kClassScriptId = IDR_GOTOFAVORITE;
inline constexpr wchar_t kClsidText[] = L"{6F41C2A8-93D0-4B7E-8C15-2E9A7D3B5F60}";
inline constexpr wchar_t kAppIdText[] = L"{A3E5B7C9-1D2F-4A6B-9C8E-7F0D1B2C3E4A}";
inline constexpr wchar_t kHandlerName[] = L"Quelvar";
inline constexpr wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
#endif
