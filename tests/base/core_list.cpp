// Linked lists.
#include <gtest/gtest.h>

#include <vector>

#include "base/list.h"
#include "base/log.h"

static std::vector<int> items(SYS_List_p head)
{
  std::vector<int> out;
  for (SYS_List_p n = head; n; n = n->next) {
    if (n->next) {
      EXPECT_EQ(n->next->prev, n);
    }
    out.push_back(*static_cast<int *>(n->item));
  }
  return out;
}

TEST(CoreList, AddDeleteAndOrder)
{
  int a = 1, b = 2, c = 3;
  SYS_List_p first = nullptr, last = nullptr;
  for (int *item : {&a, &b, &c}) {
    first = SYS_ListAddFirst(first, item);
    last = SYS_ListAddLast(last, item);
  }
  EXPECT_EQ(items(first), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(items(last), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(first->prev, nullptr);

  last = SYS_ListDelItem(last, &a);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->prev, nullptr);
  EXPECT_EQ(items(last), (std::vector<int>{2, 3}));
  last = SYS_ListAddLast(last, &b);
  last = SYS_ListDelItem(last, &b);
  EXPECT_EQ(items(last), (std::vector<int>{3, 2}));
  int other = 9;
  EXPECT_EQ(SYS_ListDelItem(last, &other), last);
  EXPECT_EQ(SYS_ListRemove(last), 0);
  EXPECT_EQ(SYS_ListRemove(first), 0);

  SYS_List_p one = SYS_ListAddFirst(nullptr, &a);
  errSetLastError(3);
  EXPECT_EQ(SYS_ListDelItem(one, &a), nullptr);
  EXPECT_EQ(errGetLastError(), 0);
}

TEST(CoreList, FailuresKeepTheCallersList)
{
  int a = 1;
  SYS_List_p head = SYS_ListAddFirst(nullptr, &a);
  EXPECT_EQ(SYS_ListAddFirst(head, nullptr), head);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ListAddLast(head, nullptr), head);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(items(head), (std::vector<int>{1}));
  EXPECT_EQ(SYS_ListDelItem(nullptr, &a), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ListDelItem(head, nullptr), nullptr);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ListRemove(nullptr), -1);
  EXPECT_EQ(errGetLastError(), 10);
  EXPECT_EQ(SYS_ListRemove(head), 0);
}

// Deleting each position of lists of two and three: the links both ways must close
// over the gap, and a removed tail must leave the new tail pointing at nothing.
TEST(CoreList, DeleteAtEveryPosition)
{
  int values[3] = {1, 2, 3};
  for (int size : {2, 3})
    for (int at = 0; at < size; at++) {
      SCOPED_TRACE(testing::Message() << "size " << size << ", deleting " << at);
      SYS_List_p head = nullptr;
      for (int i = 0; i < size; i++)
        head = SYS_ListAddLast(head, &values[i]);
      head = SYS_ListDelItem(head, &values[at]);
      ASSERT_NE(head, nullptr);
      EXPECT_EQ(head->prev, nullptr);
      std::vector<int> want;
      for (int i = 0; i < size; i++)
        if (i != at)
          want.push_back(values[i]);
      EXPECT_EQ(items(head), want);
      // Backwards from the tail gives the same nodes in reverse.
      SYS_List_p tail = head;
      while (tail->next)
        tail = tail->next;
      std::vector<int> back;
      for (SYS_List_p n = tail; n; n = n->prev)
        back.insert(back.begin(), *static_cast<int *>(n->item));
      EXPECT_EQ(back, want);
      // The list still grows at its end after the deletion.
      int extra = 7;
      head = SYS_ListAddLast(head, &extra);
      want.push_back(7);
      EXPECT_EQ(items(head), want);
      EXPECT_EQ(SYS_ListRemove(head), 0);
    }
}
