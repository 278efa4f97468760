#include "platform/exec.h"

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

void add_tail(List &list, Node *node)
{
    node->succ = nullptr;
    node->pred = list.tail;
    if (list.tail)
        list.tail->succ = node;
    else
        list.head = node;
    list.tail = node;
}

void remove_node(List &list, Node *node)
{
    (node->pred ? node->pred->succ : list.head) = node->succ;
    (node->succ ? node->succ->pred : list.tail) = node->pred;
    node->succ = node->pred = nullptr;
}

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
