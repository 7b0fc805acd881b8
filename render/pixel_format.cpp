#include "render/pixel_format.h"

// Asks for a 16-bit RGBA window format with a 32-bit depth buffer and sets the nearest match.
void SetupPixelFormat(HDC hDC)
{
    PIXELFORMATDESCRIPTOR request = {
        sizeof(PIXELFORMATDESCRIPTOR), 1,
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL,
        PFD_TYPE_RGBA, 16,
        0, 0, 0, 0, 0, 0,
        0, 0,
        0, 0, 0, 0, 0,
        32, 0, 0,
        PFD_MAIN_PLANE, 0,
        0, 0, 0,
    };
    // A zero index (no match) goes through too: setting it fails and the window simply has no format.
    int format = ChoosePixelFormat(hDC, &request);
    SetPixelFormat(hDC, format, &request);
}
