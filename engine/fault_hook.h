#pragma once

/// Points where a test can make the engine fail on purpose: its allocations (SQLite's memory
/// and the element pages) and the writer's SQLite calls. A test program that defines
/// kestruneFaultHook, and exports it, is asked at every such point whether this one fails; the
/// programs define none, and then the points cost a null test.
enum class FaultSite {
    Allocation = 1,
    SqliteCall = 2,
};

extern "C" __attribute__((weak)) bool kestruneFaultHook(int site);

inline bool faultInjected(FaultSite site)
{
    return kestruneFaultHook && kestruneFaultHook(int(site));
}
