#pragma once

// What Ochrelight's pixel format request gets from the OpenGL of the machine it runs on, and the likely cause of ochre
// missing from its window that those readings point to. Plain data, so that a reading made in another process can be
// handed over whole, and recorded readings of drivers this machine lacks can be judged on any host.

#include <string>

struct Reading {
    // The format the request set (0: none) and how many the window's device context offers.
    int format, formats;
    bool doubleBuffered, generic, genericAccelerated;
    int colourBits, alphaBits, depthBits, stencilBits;
    // A context made on that format and made current; where none was, `why` says what failed.
    bool context;
    char renderer[128], vendor[128], version[128], why[128];
    // Full paths: the opengl32.dll that loaded, and the DLLs it loaded in turn by the time the context was made.
    char opengl32[260], loaded[1024];
};

// The likely cause, from the known ways a driver differs, of a window that shows no ochre, given what the request gets
// with the DLL search open and restricted to the system directory as Ochrelight restricts it; null when the readings
// show none of them.
const char* LikelyCause(const Reading& open, const Reading& restricted);

// What the restricted reading has that the open one does not: no context, another format, another renderer, other
// DLLs; "" where they agree.
std::string Differences(const Reading& open, const Reading& restricted);
