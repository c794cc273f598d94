#include "app/PaintingWait.h"

bool WaitPainting(HANDLE event, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeoutMs)
      return false;
    const DWORD result = ::MsgWaitForMultipleObjects(event ? 1 : 0, event ? &event : nullptr, FALSE,
                                                     timeoutMs - elapsed, QS_PAINT | QS_SENDMESSAGE);
    if (event && result == WAIT_OBJECT_0)
      return true;
    if (result == WAIT_TIMEOUT)
      return false;
    if (result == WAIT_FAILED)
      return event && ::WaitForSingleObject(event, timeoutMs - elapsed) == WAIT_OBJECT_0;
    // Sent messages are answered inside PeekMessage; of the posted ones only paints are taken.
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
      ::DispatchMessageA(&msg);
  }
}
