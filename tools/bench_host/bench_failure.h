// A run whose figures cannot be trusted: a wrong, missing or late reply, a
// plug-in that died, hung or could not start. The driver prints the message
// and exits with 1.
#pragma once

#include <stdexcept>

namespace bench {

class BenchFailure : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace bench
