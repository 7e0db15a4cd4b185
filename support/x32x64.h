#pragma once
// Hidden window instances whose messages go to a plain callback, and the
// bitness of a module file on disk. [Windows builds only]

#include <windows.h>

#include <string>

using TWindowInstanceCallback = LRESULT (*)(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

inline constexpr int kWindowInstanceSlots = 1024;
inline constexpr wchar_t kWindowInstanceClassName[] = L"x32x64_WindowInstance_ClassName";

// A new hidden tool window whose messages go to callback; 0 when none was
// created (also when every slot of the table is in use). [window thread]
HWND CreateWindowInstance(TWindowInstanceCallback callback);
// Removes the window from the table and destroys it. [window thread]
void FreeWindowInstance(HWND wnd);
// The window procedure of every window instance.
LRESULT CALLBACK WindowInstanceProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// 0 not determined, 1 32-bit, 2 64-bit, from the PE file header's Machine field.
int GetModuleBitness(const std::wstring& path);
bool IsModule64Bit(const std::wstring& path);
