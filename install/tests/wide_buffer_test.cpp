#include <gtest/gtest.h>
#include <malloc.h>

#include "install/util/wide_buffer.h"

namespace {

size_t BlockBytes(const WideBuffer& b) { return b.Block ? _msize(b.Block) : 0; }

struct Owned {
  WideBuffer b;
  ~Owned() { Clear(b); }
};

}  // namespace

TEST(WideBufferCapacity, BlockSizesFollowTheStepsOf32Units) {
  EXPECT_EQ(0u, WideBufferBlockSize(0));
  EXPECT_EQ(72u, WideBufferBlockSize(1));
  EXPECT_EQ(72u, WideBufferBlockSize(31));
  EXPECT_EQ(136u, WideBufferBlockSize(32));
  EXPECT_EQ(136u, WideBufferBlockSize(63));
  EXPECT_EQ(200u, WideBufferBlockSize(64));
  EXPECT_EQ(200u, WideBufferBlockSize(95));
  EXPECT_EQ(264u, WideBufferBlockSize(96));
}

TEST(WideBufferCapacity, SetLengthGrowsAndShrinksTheHeapBlockAcrossSizeClasses) {
  Owned o;
  ASSERT_TRUE(SetLength(o.b, 31));
  EXPECT_EQ(72u, BlockBytes(o.b));
  EXPECT_EQ(0, MutableText(o.b)[31]);
  ASSERT_TRUE(SetLength(o.b, 32));
  EXPECT_EQ(136u, BlockBytes(o.b));
  EXPECT_EQ(0, MutableText(o.b)[32]);
  ASSERT_TRUE(SetLength(o.b, 31));
  EXPECT_EQ(72u, BlockBytes(o.b));
  EXPECT_EQ(31u, Length(o.b));
  ASSERT_TRUE(SetLength(o.b, 0));
  EXPECT_EQ(nullptr, o.b.Block);
}

TEST(WideBufferCapacity, ShorteningWithinASizeClassKeepsTheBlockAndTheFirstUnits) {
  Owned o;
  AssignWide(o.b, L"0123456789");
  WideBufferBlock* before = o.b.Block;
  ASSERT_TRUE(SetLength(o.b, 5));
  EXPECT_EQ(before, o.b.Block);
  EXPECT_STREQ(L"01234", Text(o.b));
  EXPECT_EQ(5u, Length(o.b));
}

TEST(WideBufferText, EmptyTextsLeaveNoBlock) {
  Owned o;
  AssignWide(o.b, L"abc");
  AssignWide(o.b, L"");
  EXPECT_EQ(nullptr, o.b.Block);
  EXPECT_EQ(0u, Length(o.b));
  EXPECT_STREQ(L"", Text(o.b));
  AssignWide(o.b, L"abc");
  AssignWide(o.b, nullptr);
  EXPECT_EQ(nullptr, o.b.Block);
  EXPECT_EQ(nullptr, MutableText(o.b));
}

TEST(WideBufferText, AppendBuildsTextAndEmptyAppendChangesNothing) {
  Owned o;
  AppendWide(o.b, L"abc");  // on an empty buffer: like AssignWide
  EXPECT_STREQ(L"abc", Text(o.b));
  EXPECT_EQ(72u, BlockBytes(o.b));
  WideBufferBlock* before = o.b.Block;
  AppendWide(o.b, L"");
  EXPECT_EQ(before, o.b.Block);
  EXPECT_EQ(3u, Length(o.b));
  std::wstring expected = L"abc";
  for (int i = 0; i < 40; ++i) {
    AppendWide(o.b, L"xy");
    expected += L"xy";
  }
  EXPECT_EQ(expected, Text(o.b));
  EXPECT_EQ(WideBufferBlockSize(expected.size()), BlockBytes(o.b));
}

TEST(WideBufferText, AppendWideNStopsAtCountOrTerminator) {
  Owned o;
  AppendWideN(o.b, L"abcdef", 3);
  AppendWideN(o.b, L"xy", 10);
  EXPECT_STREQ(L"abcxy", Text(o.b));
}

TEST(WideBufferText, FromAnsiConvertsWithTheCapacityRule) {
  Owned empty;
  empty.b = FromAnsi("");
  EXPECT_EQ(nullptr, empty.b.Block);
  Owned o;
  o.b = FromAnsi("Quillstack.ab");  // 13 characters
  EXPECT_EQ(13u, Length(o.b));
  EXPECT_EQ(72u, BlockBytes(o.b));
  EXPECT_STREQ(L"Quillstack.ab", Text(o.b));
}

TEST(WideBufferText, CloneIsADeepCopyOfTheSameSize) {
  Owned a, c;
  AssignWide(a.b, L"a text of thirty-three characters");
  c.b = Clone(a.b);
  ASSERT_NE(nullptr, c.b.Block);
  EXPECT_NE(a.b.Block, c.b.Block);
  EXPECT_EQ(BlockBytes(a.b), BlockBytes(c.b));
  EXPECT_STREQ(Text(a.b), Text(c.b));
  Owned e, ce;
  ce.b = Clone(e.b);
  EXPECT_EQ(nullptr, ce.b.Block);
}

TEST(WideBufferDirectoryPart, CutsAtTheLastBackslashOrElseTheLastSlash) {
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\dir\\file.exe", L"C:\\dir"}, {L"a/b/c", L"a/b"}, {L"dir\\", L"dir"}, {L"\\x", L""},
      {L"name", L""},                      {L"C:\\a/b", L"C:"}, {L"", L""},
  };
  for (const Case& c : cases) {
    Owned in, out;
    AssignWide(in.b, c.in);
    out.b = DirectoryPart(in.b);
    EXPECT_STREQ(c.out, Text(out.b)) << "input " << testing::PrintToString(std::wstring(c.in));
    if (c.out[0] == 0) EXPECT_EQ(nullptr, out.b.Block);
    else EXPECT_EQ(WideBufferBlockSize(wcslen(c.out)), BlockBytes(out.b));
  }
}
