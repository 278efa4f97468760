// Doubly linked lists of named nodes and the memory they live in.
//
// Allocation failure is an ordinary result here (null), never an exception: the
// preferences store reports it to the user and carries on.
#pragma once

#include <cstddef>
#include <functional>

namespace platform {

struct Node {
    Node *succ = nullptr;
    Node *pred = nullptr;
    char *name = nullptr;
};

// An ordered list: append at the tail, walk from the head.
struct List {
    Node *head = nullptr;
    Node *tail = nullptr;
};

void add_tail(List &list, Node *node);
void remove_node(List &list, Node *node);
inline Node *get_head(const List &list)
{
    return list.head;
}
inline Node *get_succ(const Node *node)
{
    return node->succ;
}

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
