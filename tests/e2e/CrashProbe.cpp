// A program that crashes: under the test prefixes it must end at once with a failure, not start
// a debugger that holds the test run until its time-out.
int main() {
  volatile int *nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
