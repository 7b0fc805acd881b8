#include "tests/e2e/reading.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A reading as a machine gave it: format, buffering, whose, context and renderer.
Reading Recorded(int format, bool doubleBuffered, bool generic, bool context, const char* renderer)
{
    Reading reading = {};
    reading.format = format;
    reading.formats = 92;
    reading.doubleBuffered = doubleBuffered;
    reading.generic = generic;
    reading.context = context;
    std::strcpy(context ? reading.renderer : reading.why, renderer);
    std::strcpy(reading.opengl32, "C:\\Windows\\system32\\opengl32.dll");
    return reading;
}

TEST(LikelyCause, NamesTheKnownCauseTheReadingsShow)
{
    const Reading driver = Recorded(7, false, false, true, "Quadro P1000/PCIe/SSE2");
    const Reading doubled = Recorded(11, true, false, true, "Quadro P1000/PCIe/SSE2");
    const Reading none = Recorded(0, false, false, false, "no format was set (error 2000)");
    const Reading refused = Recorded(7, false, false, false, "wglCreateContext failed (error 126)");
    const Reading software = Recorded(3, false, true, true, "GDI Generic");
    const struct {
        const char* machine;
        Reading open, restricted;
        const char* cause;
    } kCases[] = {
        {"a driver's single-buffered format", driver, driver, nullptr},
        {"software only, as over Remote Desktop", software, software, nullptr},
        {"a driver's nearest match double-buffered", doubled, doubled, "the request got a double-buffered format"},
        {"no format at all", none, none, "no context could be made: the request got no pixel format"},
        {"a format but no context", refused, refused, "no context could be made on this format"},
        {"no opengl32.dll", Reading(), Reading(), "no context could be made: no opengl32.dll loaded"},
        {"a driver that loads its DLLs from its own folder", driver, refused,
         "no context with the DLL search restricted"},
    };
    for (const auto& known : kCases) {
        const char* cause = LikelyCause(known.open, known.restricted);
        EXPECT_STREQ(cause, known.cause) << known.machine;
    }
}

TEST(Differences, SaysWhatTheRestrictedSearchChanged)
{
    const Reading driver = Recorded(7, false, false, true, "Quadro P1000/PCIe/SSE2");
    Reading software = Recorded(3, false, true, true, "GDI Generic");
    EXPECT_EQ(Differences(driver, driver), "");
    EXPECT_EQ(Differences(driver, software), "another format, 3; another renderer, \"GDI Generic\"");
    std::strcpy(software.loaded, "C:\\Windows\\system32\\dxgi.dll");
    EXPECT_EQ(Differences(driver, Recorded(0, false, false, false, "no format was set")),
              "no context (no format was set); another format, none");
    Reading unloaded = Recorded(0, false, false, false, "no opengl32.dll");
    unloaded.opengl32[0] = '\0';
    EXPECT_EQ(Differences(driver, unloaded), "no context (no opengl32.dll)");
    EXPECT_EQ(Differences(driver, software),
              "another format, 3; another renderer, \"GDI Generic\"; other DLLs, "
              "C:\\Windows\\system32\\opengl32.dll; C:\\Windows\\system32\\dxgi.dll");
}

}  // namespace
