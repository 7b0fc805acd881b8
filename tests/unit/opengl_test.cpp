#include "fixture.h"

namespace {

using Loader = ProcessTest;

// The library's own calls, without the look-ups of its functions.
std::vector<Call> Loads()
{
    std::vector<Call> loads;
    for (const Call& call : Calls())
        if (call.call != "GetProcAddress")
            loads.push_back(call);
    return loads;
}

TEST_F(Loader, LoadsOpenGLByItsFullPathInTheSystemDirectoryWithItsDependenciesFromThereToo)
{
    platform.systemDirectory = "D:\\WINNT\\System32";

    EXPECT_TRUE(LoadOpenGL());

    // one load, by full path, with the altered search path for opengl32's own imports
    EXPECT_CALLS(Loads(), (std::vector<Call>{
                              {"GetSystemDirectoryA", "247"},
                              {"LoadLibraryExA", "\"D:\\WINNT\\System32\\opengl32.dll\", NULL, 0x8"},
                          }));
}

TEST_F(Loader, BindsEveryFunctionToTheLibrarysOwn)
{
    ASSERT_TRUE(LoadOpenGL());

    EXPECT_EQ(OpenGL.wglCreateContext, &wglCreateContext);
    EXPECT_EQ(OpenGL.wglMakeCurrent, &wglMakeCurrent);
    EXPECT_EQ(OpenGL.wglDeleteContext, &wglDeleteContext);
    EXPECT_EQ(OpenGL.glClearColor, &glClearColor);
    EXPECT_EQ(OpenGL.glClear, &glClear);
    EXPECT_EQ(OpenGL.glFlush, &glFlush);
}

TEST_F(Loader, BindsNoneWhenAnyPartIsMissing)
{
    for (const Absence& absence : kAbsences) {
        SetUp();
        absence.arrange();

        EXPECT_FALSE(LoadOpenGL()) << absence.what;

        EXPECT_TRUE(OpenGL.wglCreateContext == nullptr && OpenGL.wglMakeCurrent == nullptr &&
                    OpenGL.wglDeleteContext == nullptr && OpenGL.glClearColor == nullptr &&
                    OpenGL.glClear == nullptr && OpenGL.glFlush == nullptr)
            << absence.what;
        for (const Call& call : Calls())
            EXPECT_TRUE(call.call != "LoadLibraryExA" || call.args.find(":\\") != std::string::npos)
                << absence.what << ": never a load by bare name, " << call;
    }
}

}  // namespace
