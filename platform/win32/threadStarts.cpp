#include "platform/win32/threadStarts.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<uint64_t> started{0};
std::atomic<uint32_t> lastId{0};

// The loader calls the image's TLS callbacks for every thread that attaches,
// before the thread runs its own code.
void NTAPI onThreadEvent(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_THREAD_ATTACH)
        return;
    started.fetch_add(1, std::memory_order_relaxed);
    lastId.store(GetCurrentThreadId(), std::memory_order_relaxed);
}

}  // namespace

// The callback's entry in the image's TLS callback list (.CRT$XLB sorts
// between the runtime's list start and end markers).
#if defined(_MSC_VER)
#if defined(_M_IX86)
#pragma comment(linker, "/INCLUDE:__tls_used")
#else
#pragma comment(linker, "/INCLUDE:_tls_used")
#endif
#pragma section(".CRT$XLB", read)
extern "C" __declspec(allocate(".CRT$XLB")) const PIMAGE_TLS_CALLBACK threadStartsCallback = onThreadEvent;
#else
extern "C" {
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK threadStartsCallback = onThreadEvent;
}
#endif

ThreadStarts threadStartsSoFar()
{
    // Referencing the entry keeps it in the image when the linker would
    // otherwise drop an object that nothing else names.
    volatile PIMAGE_TLS_CALLBACK keep = threadStartsCallback;
    (void)keep;
    return ThreadStarts{started.load(std::memory_order_relaxed), lastId.load(std::memory_order_relaxed)};
}
