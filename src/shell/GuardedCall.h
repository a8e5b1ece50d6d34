#pragma once
// Runs an event handler of a window; an error it throws is shown as the
// program's default handler shows it (a box titled "KVR" with a stop icon)
// and the window carries on. For the windows whose libraries lie below the
// application object's.

#include <functional>

void GuardedCall(const std::function<void()> &handler);
