#pragma once
// SSE2 where the compiler targets it (every x86-64 build, and x86 builds
// that enable it): the text scans take sixteen bytes at a time there and
// keep their byte loops elsewhere.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define ADDOSCOPE_SSE2 1
#include <emmintrin.h>
#endif
