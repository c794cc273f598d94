/* Preloaded into the SANE tests' Wine processes. SANE's own tester (the `test` backend) ends its
 * reader thread with an asynchronous cancel, even after the last byte; one that lands inside the
 * allocator leaves its lock taken, and the next scan of the run hangs for ever. Here cancellation
 * stays deferred, so it lands only where the reader waits on its pipe. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>

int pthread_setcanceltype(int type, int *oldtype) {
  static int (*real)(int, int *);
  (void)type;
  if (!real)
    real = (int (*)(int, int *))dlsym(RTLD_NEXT, "pthread_setcanceltype");
  return real ? real(PTHREAD_CANCEL_DEFERRED, oldtype) : 0;
}
