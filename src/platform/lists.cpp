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

} // namespace platform
