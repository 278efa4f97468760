#include "platform/lists.h"

namespace platform {

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

} // namespace platform
