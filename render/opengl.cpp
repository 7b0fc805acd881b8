#include "render/opengl.h"

OpenGLFunctions OpenGL;

// Casts through the one function type that converts to every other without changing the address.
template <typename Function>
static void Bind(Function& function, HMODULE library, const char* name)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(GetProcAddress(library, name)));
}

// Loads opengl32.dll by its full path in the system directory and binds every function, or none.
bool LoadOpenGL()
{
    // A bare name would search the executable's own folder first, where anyone may have put an opengl32.dll.
    static const char name[] = "\\opengl32.dll";
    char path[MAX_PATH];
    UINT room = sizeof path - (sizeof name - 1);
    UINT length = GetSystemDirectoryA(path, room);
    if (length == 0 || length >= room)
        return false;
    for (UINT i = 0; i < sizeof name; ++i)
        path[length + i] = name[i];

    // The altered search path takes opengl32's own dependencies from the system directory too.
    HMODULE library = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL)
        return false;
    Bind(OpenGL.wglCreateContext, library, "wglCreateContext");
    Bind(OpenGL.wglMakeCurrent, library, "wglMakeCurrent");
    Bind(OpenGL.wglDeleteContext, library, "wglDeleteContext");
    Bind(OpenGL.glClearColor, library, "glClearColor");
    Bind(OpenGL.glClear, library, "glClear");
    Bind(OpenGL.glFlush, library, "glFlush");
    if (OpenGL.wglCreateContext && OpenGL.wglMakeCurrent && OpenGL.wglDeleteContext && OpenGL.glClearColor &&
        OpenGL.glClear && OpenGL.glFlush)
        return true;
    OpenGL = OpenGLFunctions();
    return false;
}
