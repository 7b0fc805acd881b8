// Built with the Windows toolchain: the stand-in's pixel-format record, whose bytes the unit tests compare, has the
// size and field offsets of the platform's own, which the shipped build compiles against. It compiles to nothing.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace standin {
#include "records.h"
}

static_assert(sizeof(standin::PIXELFORMATDESCRIPTOR) == sizeof(PIXELFORMATDESCRIPTOR),
              "the stand-in's PIXELFORMATDESCRIPTOR has the platform's size");

#define SAME_FIELD(field)                                                                                          \
    static_assert(offsetof(standin::PIXELFORMATDESCRIPTOR, field) == offsetof(PIXELFORMATDESCRIPTOR, field) &&    \
                      sizeof(standin::PIXELFORMATDESCRIPTOR::field) == sizeof(PIXELFORMATDESCRIPTOR::field),      \
                  "the stand-in's PIXELFORMATDESCRIPTOR has " #field " where the platform's has it")

SAME_FIELD(nSize); SAME_FIELD(nVersion); SAME_FIELD(dwFlags); SAME_FIELD(iPixelType);
SAME_FIELD(cColorBits); SAME_FIELD(cRedBits); SAME_FIELD(cRedShift); SAME_FIELD(cGreenBits);
SAME_FIELD(cGreenShift); SAME_FIELD(cBlueBits); SAME_FIELD(cBlueShift); SAME_FIELD(cAlphaBits);
SAME_FIELD(cAlphaShift); SAME_FIELD(cAccumBits); SAME_FIELD(cAccumRedBits); SAME_FIELD(cAccumGreenBits);
SAME_FIELD(cAccumBlueBits); SAME_FIELD(cAccumAlphaBits); SAME_FIELD(cDepthBits); SAME_FIELD(cStencilBits);
SAME_FIELD(cAuxBuffers); SAME_FIELD(iLayerType); SAME_FIELD(bReserved); SAME_FIELD(dwLayerMask);
SAME_FIELD(dwVisibleMask); SAME_FIELD(dwDamageMask);
