#include "platform/memory.h"

#include <cstdlib>
#include <utility>

namespace platform {

namespace {
testing::AllocFault &alloc_fault()
{
    static testing::AllocFault hook;
    return hook;
}
} // namespace

void *alloc_mem(MemKind kind, std::size_t size)
{
    if (alloc_fault() && alloc_fault()(kind, size))
        return nullptr;
    return std::calloc(1, size);
}

void free_mem(void *mem)
{
    std::free(mem);
}

void testing::set_alloc_fault(AllocFault hook)
{
    alloc_fault() = std::move(hook);
}

} // namespace platform
