#include "fixture.h"

#include "render/pixel_format.h"

namespace {

using PixelFormat = ProcessTest;

TEST_F(PixelFormat, ChoosesAndSetsTheSingleBufferedRequestOnTheGivenDC)
{
    SetupPixelFormat(kWindowDC);

    // the request, byte for byte, to both calls
    EXPECT_CALLS(Calls(), (std::vector<Call>{
                              {"ChoosePixelFormat", "windowDC, " + kRequest},
                              {"SetPixelFormat", "windowDC, 7, " + kRequest},
                          }));
}

}  // namespace
