// Runs one registered test case, named by the first argument; "--list" prints
// the names. Exit code 0 means the case passed.
#include "test_harness.h"

#include <cstring>
#include <vector>

namespace win32test {
namespace {

struct Case {
  const char *name;
  CaseFunction function;
};

std::vector<Case> &Cases() {
  static std::vector<Case> cases;
  return cases;
}

} // namespace

CaseRegistration::CaseRegistration(const char *name, CaseFunction function) {
  Cases().push_back({name, function});
}

} // namespace win32test

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s --list | <case> [arguments]\n", argv[0]);
    return 2;
  }
  for (const auto &testCase : win32test::Cases()) {
    if (std::strcmp(argv[1], "--list") == 0) {
      std::printf("%s\n", testCase.name);
    } else if (std::strcmp(argv[1], testCase.name) == 0) {
      testCase.function(argc, argv);
      std::printf("ok %s\n", testCase.name);
      return 0;
    }
  }
  if (std::strcmp(argv[1], "--list") == 0) {
    return 0;
  }
  std::fprintf(stderr, "unknown test case: %s\n", argv[1]);
  return 2;
}
