#include "fixture.h"

#include <cstring>

namespace {

const char* const kRequest =
    "2800 0100 24000000 00 10 00 00 00 00 00 00 00 00 00 00 00 00 00 20 00 00 00 00 00000000 00000000 00000000";

class WindowProcTest : public ProcessTest {
protected:
    void SetUp() override
    {
        ProcessTest::SetUp();
        platform.windowProc = WindowProc;
        platform.windowExists = true;
    }

    LRESULT Create() { return WindowProc(kWindow, WM_CREATE, 0, 0xC5); }
    LRESULT Paint() { return WindowProc(kWindow, WM_PAINT, 0, 0); }
    LRESULT Destroy() { return WindowProc(kWindow, WM_DESTROY, 0, 0); }
};

TEST_F(WindowProcTest, CreateSetsTheFormatAndMakesTheContextOnABorrowedDC)
{
    LRESULT result = Create();

    // WM_CREATE
    EXPECT_CALLS(Calls(), (std::vector<Call>{
                              {"GetDC", "hWnd"},
                              {"ChoosePixelFormat", std::string("windowDC, ") + kRequest},
                              {"SetPixelFormat", std::string("windowDC, 7, ") + kRequest},
                              {"wglCreateContext", "windowDC"},
                              {"ReleaseDC", "hWnd, windowDC"},
                              {"DefWindowProcA", "hWnd, 0x1, 0x0, 0xC5"},
                          }));
    EXPECT_EQ(result, platform.defWindowProcResult);
    EXPECT_EQ(GLContext, kContext);
    EXPECT_EQ(platform.current, nullptr) << "creating the context must not make it current";
}

TEST_F(WindowProcTest, PaintClearsToOchreWithTheContextCurrentOnlyInside)
{
    Create();
    size_t created = platform.trace.size();

    LRESULT result = Paint();

    // WM_PAINT
    EXPECT_CALLS(CallsFrom(created), (std::vector<Call>{
                                         {"BeginPaint", "hWnd, PaintInfo"},
                                         {"wglMakeCurrent", "paintDC, GLContext"},
                                         {"glClearColor", "0x3F59999A, 0x3F400000, 0x3F000000, 0x3F800000"},
                                         {"glClear", "0x4000"},
                                         {"wglMakeCurrent", "paintDC, NULL"},
                                         {"EndPaint", "hWnd, PaintInfo"},
                                         {"DefWindowProcA", "hWnd, 0xF, 0x0, 0x0"},
                                     }));
    EXPECT_EQ(result, platform.defWindowProcResult);
    EXPECT_EQ(platform.trace[created + 2].current, kContext) << "the clear must run with the context current";
    EXPECT_EQ(platform.current, nullptr);
}

TEST_F(WindowProcTest, DestroyDeletesTheContextAndPostsQuitZeroWithoutDefaultHandling)
{
    Create();
    size_t created = platform.trace.size();

    LRESULT result = Destroy();

    // WM_DESTROY
    EXPECT_CALLS(CallsFrom(created), (std::vector<Call>{
                                         {"wglDeleteContext", "GLContext"},
                                         {"PostQuitMessage", "0"},
                                     }));
    EXPECT_EQ(result, 0);
}

TEST_F(WindowProcTest, EveryOtherMessageGoesToDefaultHandlingUntouched)
{
    struct Message {
        UINT id;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Message others[] = {
        {WM_NCCREATE, 0, 0x1234},        {WM_SIZE, 0, 0x01E00280},
        {WM_ERASEBKGND, 0x3000, 0},      {WM_SYSCOMMAND, 0xF060, 0},
        {WM_KEYDOWN, 0x73, 0x203E0001},  {WM_MOUSEMOVE, 0x1, -1},
        {WM_NCDESTROY, 0, 0},            {WM_USER + 7, ~WPARAM(0), INTPTR_MIN},
    };
    for (const Message& message : others) {
        platform.trace.clear();
        platform.defWindowProcResult = 0x1000 + message.id;

        LRESULT result = WindowProc(kWindow, message.id, message.wParam, message.lParam);

        char args[96];
        std::snprintf(args, sizeof args, "hWnd, 0x%X, 0x%lX, 0x%lX", message.id,
                      static_cast<unsigned long>(message.wParam), static_cast<unsigned long>(message.lParam));
        EXPECT_CALLS(Calls(), (std::vector<Call>{{"DefWindowProcA", args}}));
        EXPECT_EQ(result, 0x1000 + static_cast<LRESULT>(message.id));
    }
}

TEST_F(WindowProcTest, WithoutAPixelFormatPaintsStillBeginAndEndAndDestroyStillQuits)
{
    platform.choosePixelFormatResult = 0;
    Create();
    ASSERT_EQ(GLContext, nullptr);
    size_t created = platform.trace.size();

    Paint();
    Destroy();

    // WM_PAINT and WM_DESTROY with no context
    EXPECT_CALLS(CallsFrom(created), (std::vector<Call>{
                                         {"BeginPaint", "hWnd, PaintInfo"},
                                         {"wglMakeCurrent", "paintDC, NULL"},
                                         {"glClearColor", "0x3F59999A, 0x3F400000, 0x3F000000, 0x3F800000"},
                                         {"glClear", "0x4000"},
                                         {"wglMakeCurrent", "paintDC, NULL"},
                                         {"EndPaint", "hWnd, PaintInfo"},
                                         {"DefWindowProcA", "hWnd, 0xF, 0x0, 0x0"},
                                         {"wglDeleteContext", "NULL"},
                                         {"PostQuitMessage", "0"},
                                     }));
    for (const Record& record : platform.trace)
        EXPECT_EQ(record.current, nullptr) << record.call;
}

}  // namespace
