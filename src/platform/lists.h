// Singly linked lists of named nodes, in the order they were added.
#pragma once

namespace platform {

struct Node {
    Node *succ = nullptr;
    char *name = nullptr;
};

// An ordered list: append at the tail, walk from the head.
struct List {
    Node *head = nullptr;
    Node *tail = nullptr;
};

inline void add_tail(List &list, Node *node)
{
    node->succ = nullptr;
    (list.tail ? list.tail->succ : list.head) = node;
    list.tail = node;
}
inline Node *get_head(const List &list)
{
    return list.head;
}
inline Node *get_succ(const Node *node)
{
    return node->succ;
}

} // namespace platform
