// The process the simulated world runs in, as far as its folders need it: its number, and
// whether the process of another number has ended.
#pragma once

namespace platform::sim {

long SimProcessId();
// True only when the process is known to be gone; a process that is there, or that this one
// may not look at, is not.
bool SimProcessEnded(long AProcessId);

} // namespace platform::sim
