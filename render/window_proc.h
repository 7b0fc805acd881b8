#pragma once

#include <windows.h>
#include <GL/gl.h>

extern HGLRC GLContext;
extern HDC CurrentDC;
extern PAINTSTRUCT PaintInfo;
extern const GLfloat ClearColour[4];

// The main window's procedure: owns the rendering context and paints the window.
LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
