#include "tests/e2e/reading.h"

#include <cstring>

const char* LikelyCause(const Reading& open, const Reading& restricted)
{
    if (!open.context && !*open.opengl32)
        return "no context could be made: no opengl32.dll loaded";
    if (!open.context)
        return open.format ? "no context could be made on this format"
                           : "no context could be made: the request got no pixel format";
    // A clear that is never swapped stays in the back buffer.
    if (open.doubleBuffered)
        return "the request got a double-buffered format";
    if (!restricted.context)
        return "no context with the DLL search restricted";
    return nullptr;
}

std::string Differences(const Reading& open, const Reading& restricted)
{
    std::string differences;
    auto add = [&differences](const std::string& what) { differences += (differences.empty() ? "" : "; ") + what; };
    if (open.context && !restricted.context)
        add(std::string("no context (") + restricted.why + ")");
    // Where no OpenGL loaded, no format was asked for either.
    if (!*restricted.opengl32)
        return differences;
    if (restricted.format != open.format)
        add("another format, " + (restricted.format ? std::to_string(restricted.format) : std::string("none")));
    if (restricted.context && std::strcmp(restricted.renderer, open.renderer) != 0)
        add(std::string("another renderer, \"") + restricted.renderer + "\"");
    if (std::strcmp(restricted.opengl32, open.opengl32) != 0 || std::strcmp(restricted.loaded, open.loaded) != 0)
        add(std::string("other DLLs, ") + restricted.opengl32 + (*restricted.loaded ? "; " : "") + restricted.loaded);
    return differences;
}
