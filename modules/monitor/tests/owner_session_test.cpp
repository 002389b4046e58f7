// Which sessions' dispatchers the monitor tries for a job's owner, from a table of sessions (under
// Wine every process shares one session and one user, so the choice is shown here alone).
#include <gtest/gtest.h>

#include <vector>

#include <windows.h>
#include <wtsapi32.h>

#include "modules/monitor/owner_session.h"

namespace {

std::vector<DWORD> Chosen(const std::vector<SessionEntry>& table, const wchar_t* owner, DWORD console, int capacity = 16) {
  int chosen[16];
  int count = ChooseOwnerSessions(table.data(), static_cast<int>(table.size()), owner, console, chosen, capacity);
  std::vector<DWORD> ids;
  for (int i = 0; i < count; ++i) ids.push_back(table[chosen[i]].SessionId);
  return ids;
}

TEST(OwnerSessions, ActiveSessionsOfTheOwnerComeFirstTheConsoleBeforeTheOthers) {
  std::vector<SessionEntry> table = {
      {0, WTSDisconnected, L"", L""},  // services
      {1, WTSActive, L"anna", L"OFFICE"},          {2, WTSDisconnected, L"bert", L"OFFICE"},
      {3, WTSDisconnected, L"Anna", L"OFFICE"},    {4, WTSActive, L"bert", L"OFFICE"},
      {5, WTSActive, L"ANNA", L"OFFICE"},          {6, WTSListen, L"anna", L"OFFICE"},
      {7, WTSConnected, L"anna", L"OFFICE"},       {8, WTSActive, L"anna", L"HOME"},
      {9, WTSDown, L"anna", L"OFFICE"},
  };
  EXPECT_EQ((std::vector<DWORD>{5, 1, 8, 7, 3}), Chosen(table, L"anna", 5)) << "names compare without case";
  EXPECT_EQ((std::vector<DWORD>{1, 5, 8, 7, 3}), Chosen(table, L"anna", 4)) << "another user's console changes nothing";
  EXPECT_EQ((std::vector<DWORD>{5, 1, 7, 3}), Chosen(table, L"office\\anna", 5)) << "a domain narrows the choice";
  EXPECT_EQ((std::vector<DWORD>{4, 2}), Chosen(table, L"bert", 5));
  EXPECT_EQ((std::vector<DWORD>{5, 1}), Chosen(table, L"anna", 5, 2)) << "no more than there is room for";
  EXPECT_TRUE(Chosen(table, L"carl", 5).empty()) << "no session of the owner: the documented pipe";
  EXPECT_TRUE(Chosen(table, L"", 5).empty()) << "an owner the spooler did not name matches no session";
  EXPECT_TRUE(Chosen(table, L"HOME\\bert", 5).empty());
}

}  // namespace
