#pragma once

// The call sequences of the window procedure's three handled messages, shared by the tests that expect them.

#include <initializer_list>
#include <string>
#include <vector>

#include "standin.h"

const std::string kRequest =
    "2800 0100 24000000 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00 00 00 00 00000000 00000000 00000000";

// WM_CREATE loading OpenGL; Life() shows the loader's own calls as this one row, and its tests hold them
const std::vector<Call> kLoadOpenGL = {{"LoadOpenGL", ""}};

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

// A posted message through the loop to the default handling; `message` as the trace prints it, "0x400, 0x1, 0x2"
inline std::vector<Call> Looped(const std::string& message)
{
    return {{"GetMessageA", "MainMessage, NULL, 0, 0"},
            {"TranslateMessage", "MainMessage = {hWnd, " + message + "}"},
            {"DispatchMessageA", "MainMessage = {hWnd, " + message + "}"},
            {"DefWindowProcA", "hWnd, " + message}};
}

// The loop's last look at the queue, and the end of the process with its exit code
inline std::vector<Call> EndsWith(const std::string& code)
{
    return {{"GetMessageA", "MainMessage, NULL, 0, 0"}, {"ExitProcess", code}};
}

// Platforms on which OpenGL cannot be loaded whole, each with its reason.
struct Absence {
    const char* what;
    void (*arrange)();
};
const Absence kAbsences[] = {
    {"no opengl32.dll", [] { platform.openglInstalled = false; }},
    {"no wglCreateContext", [] { platform.missingExport = "wglCreateContext"; }},
    {"no wglMakeCurrent", [] { platform.missingExport = "wglMakeCurrent"; }},
    {"no wglDeleteContext", [] { platform.missingExport = "wglDeleteContext"; }},
    {"no glClearColor", [] { platform.missingExport = "glClearColor"; }},
    {"no glClear", [] { platform.missingExport = "glClear"; }},
    {"no glFlush", [] { platform.missingExport = "glFlush"; }},
    {"system directory too long", [] { platform.systemDirectory = std::string(250, 'C'); }},
};

// The pieces one after the other.
inline std::vector<Call> Then(std::initializer_list<std::vector<Call>> pieces)
{
    std::vector<Call> all;
    for (const std::vector<Call>& piece : pieces)
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}
