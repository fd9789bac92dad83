// The program's texts, read by id from the string table of its resources.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>

// The text of string id; empty when the resources lack it.
std::u16string UiText(UINT id);
// The text with its places %1, %2, ... filled in.
std::u16string UiText(UINT id, std::initializer_list<std::u16string> args);
// A file filter of the common dialogs: its | marks become the NULs between
// the entries, and it ends with two NULs.
std::wstring UiFilter(UINT id);
