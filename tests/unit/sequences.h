#pragma once

// The call sequences of the window procedure's three handled messages, shared by the tests that expect them.

#include <initializer_list>
#include <string>
#include <vector>

#include "standin.h"

const std::string kRequest =
    "2800 0100 24000000 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00 00 00 00 00000000 00000000 00000000";

// WM_CREATE finding OpenGL in the system directory
const std::vector<Call> kLoadOpenGL = {
    {"GetSystemDirectoryA", "247"},
    {"LoadLibraryExA", "\"C:\\Windows\\system32\\opengl32.dll\", NULL, 0x8"},
    {"GetProcAddress", "opengl32, \"wglCreateContext\""},
    {"GetProcAddress", "opengl32, \"wglMakeCurrent\""},
    {"GetProcAddress", "opengl32, \"wglDeleteContext\""},
    {"GetProcAddress", "opengl32, \"glClearColor\""},
    {"GetProcAddress", "opengl32, \"glClear\""},
    {"GetProcAddress", "opengl32, \"glFlush\""},
};

// WM_CREATE once OpenGL is bound: the format and the context, on a borrowed device context
const std::vector<Call> kCreateContext = {
    {"GetDC", "hWnd"},
    {"ChoosePixelFormat", "windowDC, " + kRequest},
    {"SetPixelFormat", "windowDC, 7, " + kRequest},
    {"wglCreateContext", "windowDC"},
    {"ReleaseDC", "hWnd, windowDC"},
    {"DefWindowProcA", "hWnd, 0x1, 0x0, 0xC5"},
};

// WM_PAINT with OpenGL bound; `context` is what GLContext holds
inline std::vector<Call> PaintWith(const std::string& context)
{
    return {
        {"BeginPaint", "hWnd, PaintInfo"},
        {"wglMakeCurrent", "paintDC, " + context},
        {"glClearColor", "0x3F59999A, 0x3F400000, 0x3F000000, 0x3F800000"},
        {"glClear", "0x4000"},
        {"glFlush", ""},
        {"wglMakeCurrent", "paintDC, NULL"},
        {"EndPaint", "hWnd, PaintInfo"},
        {"DefWindowProcA", "hWnd, 0xF, 0x0, 0x0"},
    };
}

// WM_DESTROY with OpenGL bound
inline std::vector<Call> DestroyWith(const std::string& context)
{
    return {{"wglDeleteContext", context}, {"PostQuitMessage", "0"}};
}

// The pieces one after the other.
inline std::vector<Call> Then(std::initializer_list<std::vector<Call>> pieces)
{
    std::vector<Call> all;
    for (const std::vector<Call>& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}
