#include "fixture.h"

#include <cstdio>

namespace {

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

TEST_F(WindowProcTest, CreateBindsOpenGLThenSetsTheFormatAndMakesTheContext)
{
    LRESULT result = Create();

    EXPECT_CALLS(Life(), Then({kLoadOpenGL, kCreateContext}));
    EXPECT_EQ(result, platform.defWindowProcResult);
    EXPECT_EQ(GLContext, kContext);
    EXPECT_EQ(platform.current, nullptr) << "creating the context must not make it current";
}

TEST_F(WindowProcTest, PaintClearsToOchreWithTheContextCurrentOnlyInside)
{
    Create();
    size_t created = platform.trace.size();

    LRESULT result = Paint();

    EXPECT_CALLS(CallsFrom(created), PaintWith("GLContext"));
    EXPECT_EQ(result, platform.defWindowProcResult);
    for (size_t i = created + 2; i < created + 6; ++i)
        EXPECT_EQ(platform.trace[i].current, kContext) << platform.trace[i].call << " runs with the context current";
    EXPECT_EQ(platform.current, nullptr);
}

TEST_F(WindowProcTest, DestroyDeletesTheContextAndPostsQuitZeroWithoutDefaultHandling)
{
    Create();
    size_t created = platform.trace.size();

    LRESULT result = Destroy();

    EXPECT_CALLS(CallsFrom(created), DestroyWith("GLContext"));
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

    EXPECT_CALLS(CallsFrom(created), Then({PaintWith("NULL"), DestroyWith("NULL")}));
    for (const Record& record : platform.trace)
        EXPECT_EQ(record.current, nullptr) << record.call;
}

TEST_F(WindowProcTest, WithoutOpenGLNothingIsCalledThroughItAndPaintsStillValidate)
{
    for (const Absence& absence : kAbsences) {
        SetUp();
        absence.arrange();

        Create();
        Paint();
        Destroy();

        // the failed look for OpenGL: no pixel format, no context, a bare paint, quit 0
        EXPECT_CALLS(Life(), (std::vector<Call>{
                                 {"LoadOpenGL", ""},
                                 {"DefWindowProcA", "hWnd, 0x1, 0x0, 0xC5"},
                                 {"BeginPaint", "hWnd, PaintInfo"},
                                 {"EndPaint", "hWnd, PaintInfo"},
                                 {"DefWindowProcA", "hWnd, 0xF, 0x0, 0x0"},
                                 {"PostQuitMessage", "0"},
                             }))
            << absence.what;
    }
}

}  // namespace
