// Counts every thread that starts in this process, the system's own helper
// threads included (those that an API call starts behind the caller's back,
// as Wine's serial driver does for a pending WaitCommEvent). For the serial
// tests and benchmarks, which check that an idle port costs no threads; the
// programs do not link it.
#pragma once
#include <cstdint>

struct ThreadStarts {
    uint64_t count;     // threads started since the process began
    uint32_t lastId;    // the system's id of the latest one (0: none yet)
};

ThreadStarts threadStartsSoFar();
