#include "fixture.h"

namespace {

using Entry = ProcessTest;

// Divides by zero on the x87 with the exception masked, leaving its flag pending in the status word.
void RaiseMaskedDivideByZero()
{
    __asm__ __volatile__("fldz\n\tfld1\n\tfdivp\n\tfstp %%st(0)" : : : "st");
#if defined(__x86_64__)
    // The same on SSE, which x86-64 code uses for its arithmetic.
    __asm__ __volatile__("xorps %%xmm0, %%xmm0\n\tmovl $1, %%eax\n\tcvtsi2ss %%eax, %%xmm1\n\tdivss %%xmm0, %%xmm1"
                         : : : "eax", "xmm0", "xmm1");
#endif
}

const Record* Find(const char* call)
{
    for (const Record& record : platform.trace)
        if (record.call.call == call)
            return &record;
    return nullptr;
}

// start-up up to the window's creation, whose WM_CREATE handling follows
const std::vector<Call> kStart = {
    {"GetModuleHandleA", "\"kernel32.dll\""},
    {"GetProcAddress", "kernel32, \"SetDefaultDllDirectories\""},
    {"SetDefaultDllDirectories", "0x800"},
    {"LoadCursorA", "NULL, #32512"},
    {"RegisterClassA", "MainWindowClass"},
    {"GetModuleHandleA", "NULL"},
    {"CreateWindowExA", "0x0, \"Ochrelight\", \"Ochrelight\", 0x6CF0000, 0x80000000, 0x80000000, "
                        "0x80000000, 0x80000000, NULL, NULL, hModule, NULL"},
};

// showing with SW_SHOWDEFAULT, whose first paint follows from UpdateWindow
const std::vector<Call> kShow = {
    {"GetStartupInfoA", ""},
    {"ShowWindow", "hWnd, 10"},
    {"UpdateWindow", "hWnd"},
};

TEST_F(Entry, ARunRegistersCreatesShowsPaintsLoopsAndExitsZeroOnClose)
{
    Post(WM_CLOSE);

    UINT exitCode = RunProcess();

    // the close, from the loop, destroys the window and quits with 0
    EXPECT_CALLS(Life(), Then({kStart, kLoadOpenGL, kCreateContext, kShow, PaintWith("GLContext"),
                                Looped("0x10, 0x0, 0x0"), DestroyWith("GLContext"),
                                {{"DefWindowProcA", "hWnd, 0x82, 0x0, 0x0"}}, EndsWith("0")}));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(platform.dllSearch, static_cast<DWORD>(LOAD_LIBRARY_SEARCH_SYSTEM32));
}

TEST_F(Entry, WhereTheDllSearchCannotBeRestrictedTheRunIsTheSameWithoutIt)
{
    platform.offersDllDirectories = false;
    Post(WM_CLOSE);

    UINT exitCode = RunProcess();

    std::vector<Call> calls = Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_CALLS(std::vector<Call>(calls.begin(), calls.begin() + 3),
                 (std::vector<Call>{
                     {"GetModuleHandleA", "\"kernel32.dll\""},
                     {"GetProcAddress", "kernel32, \"SetDefaultDllDirectories\""},
                     {"LoadCursorA", "NULL, #32512"},
                 }));
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(Entry, AWindowThatCannotBeCreatedEndsTheProcessAtOnceWithOne)
{
    platform.createWindowFails = true;

    UINT exitCode = RunProcess();

    // creation fails: nothing is shown and no loop waits for a window that is not there
    std::vector<Call> tail = CallsFrom(platform.trace.size() - 2);
    EXPECT_CALLS(tail, (std::vector<Call>{kStart.back(), {"ExitProcess", "1"}}));
    EXPECT_EQ(exitCode, 1u);
}

TEST_F(Entry, AFailingGetMessageEndsTheProcessWithTwoInsteadOfDispatching)
{
    Post(WM_USER);
    platform.getMessageFails = true;

    UINT exitCode = RunProcess();

    // the loop: one message, then the failure
    EXPECT_CALLS(CallsFrom(platform.trace.size() - 6), Then({Looped("0x400, 0x0, 0x0"), EndsWith("2")}));
    EXPECT_EQ(exitCode, 2u);
}

TEST_F(Entry, TheClassIsRegisteredWithExactlyItsTenFields)
{
    Post(WM_CLOSE);
    RunProcess();

    const WNDCLASSA& wc = platform.registered;
    EXPECT_EQ(wc.style, 3u);
    EXPECT_EQ(wc.lpfnWndProc, &WindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, nullptr);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hCursor, kArrow);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_STREQ(wc.lpszClassName, "Ochrelight");
}

TEST_F(Entry, ShowsTheLaunchersShowStateOnlyWhenItGaveOne)
{
    struct Launch {
        DWORD flags;
        WORD show;
        const char* expected;
    };
    const Launch launches[] = {
        {0, 0, "hWnd, 10"},
        {0, SW_SHOWMAXIMIZED, "hWnd, 10"},
        {STARTF_USESHOWWINDOW, SW_HIDE, "hWnd, 0"},
        {STARTF_USESHOWWINDOW, SW_SHOWNORMAL, "hWnd, 1"},
        {STARTF_USESHOWWINDOW, SW_SHOWMINIMIZED, "hWnd, 2"},
        {STARTF_USESHOWWINDOW, SW_SHOWMAXIMIZED, "hWnd, 3"},
        {STARTF_USESHOWWINDOW, SW_SHOWMINNOACTIVE, "hWnd, 7"},
        {STARTF_USESHOWWINDOW | 0x100, SW_SHOWMAXIMIZED, "hWnd, 3"},
        {0x100, SW_SHOWMINIMIZED, "hWnd, 10"},
    };
    for (const Launch& launch : launches) {
        SetUp();
        platform.startupFlags = launch.flags;
        platform.startupShowWindow = launch.show;
        Post(WM_CLOSE);

        EXPECT_EQ(RunProcess(), 0u);

        const Record* shown = Find("ShowWindow");
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->call.args, launch.expected) << "flags " << launch.flags << ", show " << launch.show;
    }
}

TEST_F(Entry, TheExitCodeIsTheQuitMessagesWParamAfterEarlierMessagesAreDispatched)
{
    Post(WM_USER, 1, 2);
    platform.queue.push_back({nullptr, WM_QUIT, 42, 0});
    Post(WM_CLOSE);

    UINT exitCode = RunProcess();

    EXPECT_EQ(exitCode, 42u);
    // the loop's end: a posted message, then the quit message; nothing after it is dispatched
    EXPECT_CALLS(CallsFrom(platform.trace.size() - 6), Then({Looped("0x400, 0x1, 0x2"), EndsWith("42")}));
}

TEST_F(Entry, OutsideAPaintNoRenderingContextIsEverCurrent)
{
    Post(WM_USER);
    Post(WM_SIZE, 0, 0x00C80140);
    Post(WM_PAINT);
    Post(WM_CLOSE);

    EXPECT_EQ(RunProcess(), 0u);

    bool painting = false;
    int paints = 0;
    for (const Record& record : platform.trace) {
        if (record.call == Call{"wglMakeCurrent", "paintDC, GLContext"}) {
            painting = true;
            ++paints;
        }
        // The current context a call sees is the one in force when it is made.
        bool insidePaint = painting && record.call.call != "wglMakeCurrent" ? true : record.call.args == "paintDC, NULL";
        EXPECT_EQ(record.current != nullptr, insidePaint) << record.call << "\n  trace:\n" << Show(Calls());
        if (record.call == Call{"wglMakeCurrent", "paintDC, NULL"})
            painting = false;
    }
    EXPECT_EQ(paints, 2);
    EXPECT_EQ(platform.current, nullptr);
}

TEST_F(Entry, TheFpuIsMaskedFirstAndCreationCannotLeaveItsControlWordBehind)
{
    RaiseMaskedDivideByZero();
    // Whatever is in force before window creation is what must come back after it.
    platform.onRegisterClass = [] {
        LoadFpuControlWord(0x033F);
#if defined(__x86_64__)
        LoadSseControlWord(0x3F80);
#endif
    };
    platform.onCreateWindow = [] {
        LoadFpuControlWord(0x027F);
#if defined(__x86_64__)
        LoadSseControlWord(0x9FC0);
#endif
        RaiseMaskedDivideByZero();
    };
    Post(WM_CLOSE);

    RunProcess();

    const unsigned short kExceptionFlags = 0x3F;
    const Record& first = platform.trace.front();
    EXPECT_EQ(first.fpuControl, 0x133F) << first.call;
    EXPECT_EQ(first.fpuStatus & kExceptionFlags, 0) << "pending flags are cleared by the set-up";
    const Record* created = Find("wglCreateContext");
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->fpuControl, 0x033F);
    const Record* shown = Find("ShowWindow");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->fpuControl, 0x033F);
    EXPECT_EQ(shown->fpuStatus & kExceptionFlags, 0) << "flags left by window creation are cleared";
#if defined(__x86_64__)
    // MXCSR holds its flags beside its masks, rounding and denormal modes.
    EXPECT_EQ(first.sseControl, 0x1F80u) << first.call;
    EXPECT_EQ(created->sseControl, 0x3F80u);
    EXPECT_EQ(shown->sseControl, 0x3F80u) << "flags left by window creation are cleared";
#endif
}

}  // namespace
