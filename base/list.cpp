// Doubly linked lists of caller items; nodes are tracked blocks.
// Depends on: mem, log (last error).
#include "base/list.h"

#include "base/log.h"
#include "base/mem.h"

static SYS_List_p newNode(void *item, const char *tag)
{
  SYS_List_p node = static_cast<SYS_List_p>(SYS_MemGet(sizeof(SYS_List_t), tag));
  if (node)
    node->item = item;
  return node;
}

SYS_List_p SYS_ListAddFirst(SYS_List_p head, void *item)
{
  SYS_List_p node = item ? newNode(item, "SYS_ListAddFirst") : nullptr;
  errClear();
  if (!item)
    return errSetLastError(10), head;
  if (!node)
    return errSetLastError(5), head;
  node->next = head;
  if (head)
    head->prev = node;
  return node;
}

SYS_List_p SYS_ListAddLast(SYS_List_p head, void *item)
{
  SYS_List_p node = item ? newNode(item, "SYS_ListAddLast") : nullptr;
  errClear();
  if (!item)
    return errSetLastError(10), head;
  if (!node)
    return errSetLastError(5), head;
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
