#pragma once

// The OpenGL 1.1 calls the product makes, for the host build against the stand-in.

typedef float GLfloat;
typedef unsigned int GLbitfield;

#define GL_COLOR_BUFFER_BIT 0x00004000

void glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);
void glClear(GLbitfield mask);
void glFlush(void);
