// Fixed identifiers of the server and its registration.
#pragma once

#include <windows.h>

#include "system/ResourceIds.h"

#ifndef RC_INVOKED
#include "ClassId.h"

inline constexpr UINT kAppIdScriptId = IDR_QUELVAR_APPID;
inline constexpr UINT kClassScriptId = IDR_GOTOFAVORITE;
inline constexpr UINT kCommandScriptId = IDR_EXPLORER_COMMAND;
inline constexpr wchar_t kClsidText[] = QV_CLSID_TEXT;
// The class of Windows 11's first-level menu.
inline constexpr CLSID kCommandClsid = QV_COMMAND_CLSID_INIT;
inline constexpr wchar_t kCommandClsidText[] = QV_COMMAND_CLSID_TEXT;
inline constexpr wchar_t kAppIdText[] = QV_APPID_TEXT;
inline constexpr wchar_t kHandlerName[] = L"Quelvar";
inline constexpr wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
#endif
