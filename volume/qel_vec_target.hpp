// The target switch of the *_vec<bits>.cpp files: code between QEL_VEC_TARGET_BEGIN("...") and
// QEL_VEC_TARGET_END is compiled for the named instruction sets. GCC takes a target pragma;
// Clang (the fuzz build) has none and takes its attribute pragma instead. Include every other
// header before the switch, so that inline code shared with the rest of the library is never
// built for the wider target.
#pragma once

#define QEL_VEC_PRAGMA(x) _Pragma(#x)
#if defined(__clang__)
#define QEL_VEC_TARGET_BEGIN(isa) \
    QEL_VEC_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define QEL_VEC_TARGET_END QEL_VEC_PRAGMA(clang attribute pop)
#else
#define QEL_VEC_TARGET_BEGIN(isa) QEL_VEC_PRAGMA(GCC push_options) QEL_VEC_PRAGMA(GCC target(isa))
#define QEL_VEC_TARGET_END QEL_VEC_PRAGMA(GCC pop_options)
#endif
