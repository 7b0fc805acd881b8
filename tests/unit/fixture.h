#pragma once

#include <gtest/gtest.h>

#include "app/fpu.h"
#include "render/opengl.h"
#include "render/window_proc.h"
#include "sequences.h"
#include "standin.h"

extern WNDCLASSA MainWindowClass;
extern MSG MainMessage;
extern "C" void EntryPoint(void);

// Every test starts from a freshly loaded process: zeroed records, an empty stand-in, this thread's FPU as it was.
class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        hostFpuControl = StoreFpuControlWord();
#if defined(__x86_64__)
        hostSseControl = StoreSseControlWord();
#endif
        ResetPlatform();
        MainWindowClass = WNDCLASSA();
        MainMessage = MSG();
        OpenGL = OpenGLFunctions();
        GLContext = nullptr;
        CurrentDC = nullptr;
        PaintInfo = PAINTSTRUCT();
        platform.names[&MainWindowClass] = "MainWindowClass";
        platform.names[&MainMessage] = "MainMessage";
        platform.names[&PaintInfo] = "PaintInfo";
    }

    void TearDown() override
    {
        LoadFpuControlWord(hostFpuControl);
#if defined(__x86_64__)
        LoadSseControlWord(hostSseControl);
#endif
    }

    // Runs the entry routine to its end and gives the process exit code.
    static UINT RunProcess()
    {
        try {
            EntryPoint();
        } catch (const ProcessExit& exit) {
            return exit.code;
        } catch (const StandInStop& stop) {
            ADD_FAILURE() << stop.why << "\n  trace:\n" << Show(Calls());
            return 0xDEAD;
        }
        ADD_FAILURE() << "the entry routine returned instead of ending the process";
        return 0xDEAD;
    }

    // The recorded calls as the window's life: the OpenGL loader's own calls, each run of them, as one
    // {"LoadOpenGL", ""} row.
    static std::vector<Call> Life()
    {
        std::vector<Call> life;
        bool loading = false;
        for (const Call& call : Calls()) {
            bool loader = call.call == "GetSystemDirectoryA" || call.call == "LoadLibraryExA" ||
                          (call.call == "GetProcAddress" && call.args.rfind("opengl32,", 0) == 0);
            if (loader && !loading)
                life.push_back({"LoadOpenGL", ""});
            if (!loader)
                life.push_back(call);
            loading = loader;
        }
        return life;
    }

    // The calls from index `from` on.
    static std::vector<Call> CallsFrom(size_t from)
    {
        std::vector<Call> calls = Calls();
        return std::vector<Call>(calls.begin() + static_cast<std::ptrdiff_t>(std::min(from, calls.size())), calls.end());
    }

private:
    unsigned short hostFpuControl = 0;
    unsigned int hostSseControl = 0;
};

// The recorded calls against a whole expected table, with both printed in full on a mismatch.
inline ::testing::AssertionResult SameCalls(const std::vector<Call>& recorded, const std::vector<Call>& expected)
{
    if (recorded == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected:\n" << Show(expected) << "recorded:\n" << Show(recorded);
}

#define EXPECT_CALLS(recorded, expected) EXPECT_TRUE(SameCalls((recorded), (expected)))
