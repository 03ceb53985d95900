// Resource identifiers of the extension DLL, shared by the C++ sources and
// the resource scripts; plain #defines only, so that windres can read it.
#pragma once

// "REGISTRY" scripts run by self-registration.
#define IDR_MODULE_SCRIPT 101
#define IDR_SHLEXT_SCRIPT 106

// "TYPELIB" resource holding SimpleExtLib.
#define IDR_TYPELIB 1

// Colour swatches: IDI_SWATCH_FIRST + 3 * family + shade.
#define IDI_SWATCH_FIRST 300
#define IDI_SWATCH_LAST 332
#define IDI_SWATCH_SHADE_DARK 0
#define IDI_SWATCH_SHADE_LIGHT 1
#define IDI_SWATCH_SHADE_BASE 2

// The base shades that the colour items of the menu show.
#define IDI_SWATCH_BLUE 302
#define IDI_SWATCH_GRAY 308
#define IDI_SWATCH_GREEN 311
#define IDI_SWATCH_RED 326

// The logo beside the submenu's entry: one 16x16 8-bpp image, then 48..16
// pixels square in steps of 4 at 32 bpp.
#define IDI_LOGO 333
