// Doubly linked lists of caller items; nodes are tracked blocks.
// Depends on: mem, log (last error).
#include "base/list.h"

#include "base/log.h"
#include "base/mem.h"

// The node for an add, allocated before the last error is cleared; null with
// error 10 for a null item or 5 when memory runs out.
static SYS_List_p newNode(void *item, const char *tag)
{
  SYS_List_p node = item ? static_cast<SYS_List_p>(SYS_MemGet(sizeof(SYS_List_t), tag)) : nullptr;
  errClear();
  if (!node)
    return errSetLastError(item ? 5 : 10), nullptr;
  node->item = item;
  return node;
}

SYS_List_p SYS_ListAddFirst(SYS_List_p head, void *item)
{
  SYS_List_p node = newNode(item, "SYS_ListAddFirst");
  if (!node)
    return head;
  node->next = head;
  if (head)
    head->prev = node;
  return node;
}

SYS_List_p SYS_ListAddLast(SYS_List_p head, void *item)
{
  SYS_List_p node = newNode(item, "SYS_ListAddLast");
  if (!node)
    return head;
  if (!head)
    return node;
  SYS_List_p last = head;
  while (last->next)
    last = last->next;
  last->next = node;
  node->prev = last;
  return head;
}

SYS_List_p SYS_ListDelItem(SYS_List_p head, void *item)
{
  errClear();
  if (!head || !item)
    return errSetLastError(10), nullptr;
  SYS_List_p node = head;
  while (node && node->item != item)
    node = node->next;
  if (!node)
    return head;
  if (node->prev)
    node->prev->next = node->next;
  if (node->next)
    node->next->prev = node->prev;
  if (node == head) {
    head = node->next;
    if (head)
      head->prev = nullptr;
  }
  SYS_MemFree(&node);
  return head;
}

int SYS_ListRemove(SYS_List_p head)
{
  errClear();
  if (!head)
    return errSetLastError(10), -1;
  while (head) {
    SYS_List_p next = head->next;
    SYS_MemFree(&head);
    head = next;
  }
  return 0;
}
