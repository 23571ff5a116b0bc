// Tessel about box: a modeless window built from an in-memory template (Win32 only).
#pragma once

#include <windows.h>

int AboutBoxOpen(HINSTANCE instance, HWND owner, const char* productName, const char* version,
                 const char* buildLabel, const char* extraText, const char* webAddress,
                 HICON icon);

// Callers pass the maker's web site (MakerWebAddress, tessel/maker.h) as the web address.

// The about window while it is open, else null (its open count is 0 or 1).
HWND AboutBoxWindow();
