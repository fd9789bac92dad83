// Find (modeless) and Go-to (modal) dialog procedures.
#pragma once
#include <windows.h>

#include <cstdint>

INT_PTR CALLBACK FindDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK GoToDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

// Longest search text the Find dialog keeps, in code units.
constexpr int FindTextMax = 1023;

// 0-based target line of a Go-to entry: the text parsed as _wcstoi64 does,
// minus one, wrapped to unsigned and clamped to the last line.
uint64_t GoToTargetLine(const wchar_t* text, uint64_t lineCount);

// Moves dlg, unchanged in size, to the centre of its owner window.
void CentreOverOwner(HWND dlg);
