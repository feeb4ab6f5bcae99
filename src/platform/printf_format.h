// The format attribute of the program's printf-like functions, so the compiler checks their
// callers. They format with the C library's C99 printf (%zu and the like); on mingw-w64 that is
// its own printf (__USE_MINGW_ANSI_STDIO), which the compiler calls gnu_printf, while its plain
// printf archetype means the old Windows runtime's, which knows no %zu.
#pragma once

#if defined(__MINGW32__)
#define KVX_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define KVX_PRINTF_FORMAT(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#endif
