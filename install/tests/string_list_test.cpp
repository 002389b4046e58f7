#include <gtest/gtest.h>

#include "install/util/string_list.h"

namespace {

int Count(StringList head) {
  int n = 0;
  for (; head != nullptr; head = head->next) ++n;
  return n;
}

struct List {
  StringList head = nullptr;
  ~List() { FreeAll(head); }
};

}  // namespace

TEST(StringList, NewestEntryComesFirstAndDuplicatesAreSkipped) {
  List l;
  AddUnique(l.head, L"C:\\Windows\\System32\\one.dll");
  AddUnique(l.head, L"C:\\Windows\\System32\\two.dll");
  AddUnique(l.head, L"C:\\Windows\\System32\\one.dll");
  ASSERT_EQ(2, Count(l.head));
  EXPECT_STREQ(L"C:\\Windows\\System32\\two.dll", l.head->text);
  EXPECT_STREQ(L"C:\\Windows\\System32\\one.dll", l.head->next->text);
}

TEST(StringList, ComparisonIsExactAndCaseSensitive) {
  List l;
  AddUnique(l.head, L"A");
  AddUnique(l.head, L"A");
  EXPECT_EQ(1, Count(l.head));
  AddUnique(l.head, L"a");
  ASSERT_EQ(2, Count(l.head));
  EXPECT_STREQ(L"a", l.head->text);
  EXPECT_STREQ(L"A", l.head->next->text);
  // A prefix is not equal: the terminator takes part in the comparison.
  AddUnique(l.head, L"AB");
  AddUnique(l.head, L"ABC");
  EXPECT_EQ(4, Count(l.head));
  // No path normalisation either.
  AddUnique(l.head, L"C:\\x");
  AddUnique(l.head, L"C:/x");
  EXPECT_EQ(6, Count(l.head));
}

TEST(StringList, EmptyTextIsNeverListed) {
  List l;
  AddUnique(l.head, L"");
  AddUnique(l.head, nullptr);
  EXPECT_EQ(nullptr, l.head);
}

TEST(StringList, EntriesAndTextsAreFixedGlobalMemoryBlocks) {
  List l;
  AddUnique(l.head, L"abc");
  ASSERT_NE(nullptr, l.head);
  // A fixed block's handle is its address.
  EXPECT_EQ(static_cast<HGLOBAL>(l.head), GlobalHandle(l.head));
  EXPECT_EQ(static_cast<HGLOBAL>(l.head->text), GlobalHandle(l.head->text));
  EXPECT_EQ(sizeof(StringListEntry), GlobalSize(l.head));
  EXPECT_EQ(4 * sizeof(WCHAR), GlobalSize(l.head->text));
  EXPECT_EQ(nullptr, l.head->next);
}

TEST(StringList, DuplicateWideCopiesIntoItsOwnBlock) {
  EXPECT_EQ(nullptr, DuplicateWide(nullptr));
  EXPECT_EQ(nullptr, DuplicateWide(L""));
  const wchar_t* source = L"report";
  WCHAR* copy = DuplicateWide(source);
  ASSERT_NE(nullptr, copy);
  EXPECT_NE(source, copy);
  EXPECT_STREQ(source, copy);
  EXPECT_EQ(7 * sizeof(WCHAR), GlobalSize(copy));
  EXPECT_EQ(nullptr, GlobalFree(copy));
}

TEST(StringList, FreeAllReleasesEveryEntryOnceAndLeavesTheHeapSound) {
  StringList head = nullptr;
  AddUnique(head, L"1");
  AddUnique(head, L"2");
  AddUnique(head, L"3");
  ASSERT_EQ(3, Count(head));
  FreeAll(head);
  head = nullptr;
  FreeAll(nullptr);  // an empty list frees nothing
  // A block freed twice, or a text left behind in a freed entry, shows up as heap damage.
  EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr));
}
