#pragma once

// Helpers of the end-to-end driver: launching Ochrelight, finding its window, reading its pixels, recording checks.

#include <windows.h>

#include <functional>

struct Instance {
    PROCESS_INFORMATION process;
    HWND window;
};

// The ochre of the clear colour as a 24-bit screen shows it.
const COLORREF kOchre = RGB(217, 191, 128);

// Records one check and prints its line; a failed pixel check also saves the screen.
bool Check(bool ok, const char* format, ...);
bool CheckPixels(bool ok, const char* format, ...);

// Starts Ochrelight with an optional command-line tail and launcher show state (-1: none given).
Instance Launch(const char* tail = "", int show = -1);

// Waits, serving the driver's own windows, until `done` holds or the time is up.
bool WaitFor(const std::function<bool()>& done, DWORD milliseconds);

// True when the client area reads as ochre on a grid over it and near each corner; `where` gets the first miss.
bool ClientIsOchre(HWND window, POINT* where = nullptr, COLORREF* seen = nullptr);
bool WaitOchre(HWND window, DWORD milliseconds = 5000);

// The colour on screen at a point of the window's client area.
COLORREF ClientPixel(HWND window, int x, int y);

// Posts a message, waits for the process to end, and gives its exit code and how long it took.
DWORD CloseWith(Instance& instance, UINT message, WPARAM wParam, LPARAM lParam, DWORD* milliseconds = nullptr);

// Writes the whole screen as NAME.bmp in the shot directory.
void SaveScreen(const char* name);

// Ends an instance a check left running.
void Kill(Instance& instance);
