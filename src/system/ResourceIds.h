// Identifiers of the module's resources, shared by the resource script and the
// code that loads them.
#pragma once

// Registry scripts (type "REGISTRY").
#define IDR_QUELVAR_APPID 101
#define IDR_GOTOFAVORITE 102
#define IDR_EXPLORER_COMMAND 103

// Artwork.
#define IDB_MENU_ICONS 201  // the 26 menu icons of 16 x 16 pixels, magenta transparent
#define IDB_ABOUT 208       // the picture of the About page
// The same icons with their alpha channel (32 bits per pixel) at the
// small-icon sizes of 96, 120, 144 and 192 DPI.
#define IDB_MENU_ICONS_ALPHA_16 211
#define IDB_MENU_ICONS_ALPHA_20 212
#define IDB_MENU_ICONS_ALPHA_24 213
#define IDB_MENU_ICONS_ALPHA_32 214

// Icons of Windows 11's first-level menu: IDI_MENU_FIRST + n shows cell n of
// IDB_MENU_ICONS.
#define IDI_MENU_FIRST 300
