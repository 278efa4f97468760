// Memory for the preferences store. Allocation failure is an ordinary result here
// (null), never an exception: the store reports it to the user and carries on.
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

// What an allocation is for; fault injection can single out one kind.
enum class MemKind { list, node, buffer, index };

// Zero-filled memory of `size` bytes, or null.
void *alloc_mem(MemKind kind, std::size_t size);
void free_mem(void *mem);

namespace testing {
// While set, an allocation fails whenever the hook returns true for it.
using AllocFault = std::function<bool(MemKind kind, std::size_t size)>;
void set_alloc_fault(AllocFault hook);
} // namespace testing

} // namespace platform
