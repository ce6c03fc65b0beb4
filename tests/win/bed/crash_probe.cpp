// Crashes on purpose: the test bed must end a crashing program with its backtrace, promptly,
// instead of leaving it waiting on a crash dialog until the test's time-out.
#include <cstdio>

int main() {
  std::puts("crash probe: about to write through a null pointer");
  std::fflush(stdout);
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
