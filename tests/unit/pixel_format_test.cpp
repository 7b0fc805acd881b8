#include "fixture.h"

#include "render/pixel_format.h"

namespace {

using PixelFormat = ProcessTest;

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the request is the platform's 40-byte record");

// nSize nVersion dwFlags | 20 one-byte counts from iPixelType to bReserved | three masks.
const char* const kRequest =
    "2800 0100 24000000 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00 00 00 00 00000000 00000000 00000000";

TEST_F(PixelFormat, ChoosesAndSetsTheSingleBufferedRequestOnTheGivenDC)
{
    SetupPixelFormat(kWindowDC);

    EXPECT_CALLS(Calls(), (std::vector<Call>{
                              {"ChoosePixelFormat", std::string("windowDC, ") + kRequest},
                              {"SetPixelFormat", std::string("windowDC, 7, ") + kRequest},
                          }));
}

}  // namespace
