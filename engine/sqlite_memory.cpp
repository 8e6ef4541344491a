#include "sqlite_memory.h"

#include "fault_hook.h"

#include <sqlite3.h>

#include <malloc.h>

#include <cstdint>
#include <cstdlib>

namespace {

void *allocate(int bytes)
{
    return faultInjected(FaultSite::Allocation) ? nullptr : std::malloc(size_t(bytes));
}

void release(void *block)
{
    std::free(block);
}

void *reallocate(void *block, int bytes)
{
    return faultInjected(FaultSite::Allocation) ? nullptr : std::realloc(block, size_t(bytes));
}

int blockSize(void *block)
{
    return block ? int(malloc_usable_size(block)) : 0;
}

int roundUp(int bytes)
{
    return (bytes + 7) & ~7;
}

int start(void *)
{
    return SQLITE_OK;
}

void stop(void *) {}

bool useCAllocator()
{
    static const sqlite3_mem_methods methods = {allocate, release, reallocate, blockSize, roundUp, start, stop, nullptr};
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &methods) == SQLITE_OK;
}

const bool sharesAllocator = useCAllocator();

} // namespace

namespace SqliteMemory {

bool sharesCAllocator()
{
    return sharesAllocator;
}

void *resize(void *block, size_t bytes)
{
    if (faultInjected(FaultSite::Allocation))
        return nullptr;
    if (sharesAllocator)
        return std::realloc(block, bytes);
    return sqlite3_realloc64(block, sqlite3_uint64(bytes));
}

} // namespace SqliteMemory
