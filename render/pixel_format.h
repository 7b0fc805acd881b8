#pragma once

#include <windows.h>

// Gives the window behind hDC its single-buffered OpenGL pixel format.
void SetupPixelFormat(HDC hDC);
