// A minimal test harness for the Windows platform layer: each test case is a
// function registered by name and run in a process of its own, chosen by the
// first command-line argument.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace win32test {

using CaseFunction = void (*)(int argc, char **argv);

struct CaseRegistration {
  CaseRegistration(const char *name, CaseFunction function);
};

[[noreturn]] inline void Fail(const char *file, int line, const char *what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::exit(1);
}

} // namespace win32test

#define WIN32TEST_CHECK(condition)                                                                 \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      ::win32test::Fail(__FILE__, __LINE__, #condition);                                           \
    }                                                                                              \
  } while (false)

// Defines a test case; the body sees the process's argc and argv (argv[1] is
// the case's name).
#define WIN32TEST_CASE(name)                                                                       \
  static void name(int argc, char **argv);                                                         \
  static const ::win32test::CaseRegistration name##_registration(#name, name);                     \
  static void name([[maybe_unused]] int argc, [[maybe_unused]] char **argv)
