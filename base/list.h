// Doubly linked lists of caller items.
//
// A list is its head pointer; every operation that can change the head returns the
// new one. Nodes are tracked blocks; items are never copied or released.
// Depends on: mem, log (last error).
#pragma once

#include <cstdint>

extern "C" {

typedef struct SYS_List_t {
  void *item;
  struct SYS_List_t *prev;
  struct SYS_List_t *next;
} SYS_List_t, *SYS_List_p;

// On failure (null item: error 10, no memory: error 5) the old head comes back
// unchanged, so a caller that stores the result keeps its list.
SYS_List_p SYS_ListAddFirst(SYS_List_p head, void *item);
SYS_List_p SYS_ListAddLast(SYS_List_p head, void *item);
// Unlinks the first node holding item. Null head or item: error 10, null.
SYS_List_p SYS_ListDelItem(SYS_List_p head, void *item);
// Releases every node. Null head: error 10, -1.
int SYS_ListRemove(SYS_List_p head);

}  // extern "C"
