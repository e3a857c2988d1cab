// What the shared test support takes from POSIX and mingw's C library lacks,
// for the cross-built tests (included first, as a precompiled header, by
// cmake/windows_tests.cmake).
#pragma once

#include <direct.h>
#include <io.h>
#include <process.h>

#include <cerrno>
#include <cstring>

// A new folder from a template ending in XXXXXX, as POSIX mkdtemp.
inline char* mkdtemp(char* tmpl) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const size_t n = std::strlen(tmpl);
    if (n < 6) return nullptr;
    static unsigned counter = 0;
    unsigned v = static_cast<unsigned>(_getpid()) * 7919u + ++counter * 104729u;
    for (size_t i = n - 6; i < n; ++i, v /= 36)
      tmpl[i] = "0123456789abcdefghijklmnopqrstuvwxyz"[v % 36];
    if (_mkdir(tmpl) == 0) return tmpl;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}
