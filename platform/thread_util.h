#pragma once

// Names the calling thread (cut to the 15 characters Linux keeps).
void SetCurrentThreadName(const char *name);

// Asks for a higher priority for the calling thread where the system permits it; never
// real-time scheduling, which can freeze a small machine when the thread spins.
void RaiseCurrentThreadPriority();
