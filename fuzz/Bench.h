// The state a fuzz target keeps between inputs (a simulated world with components started
// on it), made on first use and, where given, made afresh every so many inputs. It is
// destroyed at exit before the process-wide objects it uses, which were made after it.
#pragma once

#include <cstdlib>
#include <memory>

namespace fuzz {

template <class T> T& Bench(int AInputsPerBench = 0) {
  static std::unique_ptr<T> GBench;
  static int GInputs = 0;
  static bool GAtExit = false;
  if (!GBench || (AInputsPerBench > 0 && ++GInputs % AInputsPerBench == 0)) {
    GBench.reset();
    GBench = std::make_unique<T>();
    if (!GAtExit) {
      GAtExit = true;
      std::atexit([] { GBench.reset(); });
    }
  }
  return *GBench;
}

} // namespace fuzz
