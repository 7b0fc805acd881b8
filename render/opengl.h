#pragma once

#include <windows.h>
#include <GL/gl.h>

// The OpenGL and WGL functions the window procedure calls, bound at run time from the system directory.
// Either all of them are bound or none is.
struct OpenGLFunctions {
    HGLRC(WINAPI* wglCreateContext)(HDC);
    BOOL(WINAPI* wglMakeCurrent)(HDC, HGLRC);
    BOOL(WINAPI* wglDeleteContext)(HGLRC);
    void(APIENTRY* glClearColor)(GLfloat, GLfloat, GLfloat, GLfloat);
    void(APIENTRY* glClear)(GLbitfield);
    void(APIENTRY* glFlush)(void);
};

extern OpenGLFunctions OpenGL;

// Loads opengl32.dll from the system directory and binds OpenGL; false when it cannot, leaving OpenGL all null.
bool LoadOpenGL();
