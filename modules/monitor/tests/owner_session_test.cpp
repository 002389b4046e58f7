// Which sessions' dispatchers the monitor tries for a job's owner, from a table of sessions (under
// Wine every process shares one session and one user, so the choice is shown here alone). The
// owner is a SID: a user of the same name in another domain, or a session whose user can't be
// told, is not the owner.
#include <gtest/gtest.h>

#include <vector>

#include <windows.h>
#include <sddl.h>
#include <wtsapi32.h>

#include "modules/monitor/owner_session.h"

namespace {

const wchar_t* const AnnaOffice = L"S-1-5-21-100-200-300-1001";
const wchar_t* const AnnaHome = L"S-1-5-21-900-800-700-1001";
const wchar_t* const BertOffice = L"S-1-5-21-100-200-300-1002";

SessionEntry Session(DWORD id, DWORD state, const wchar_t* name, const wchar_t* domain, const wchar_t* sid) {
  SessionEntry entry = {};
  entry.SessionId = id;
  entry.State = state;
  lstrcpynW(entry.UserName, name, SESSION_NAME_UNITS);
  lstrcpynW(entry.DomainName, domain, SESSION_NAME_UNITS);
  PSID binary = nullptr;
  if (sid && ConvertStringSidToSidW(sid, &binary)) {
    entry.HasSid = CopySid(sizeof(entry.UserSid), entry.UserSid, binary) != FALSE;
    LocalFree(binary);
  }
  return entry;
}

std::vector<DWORD> Chosen(const std::vector<SessionEntry>& table, const wchar_t* owner, DWORD console, int capacity = -1) {
  std::vector<int> chosen(table.size() + 1);
  PSID sid = nullptr;
  if (owner) {
    EXPECT_TRUE(ConvertStringSidToSidW(owner, &sid));
  }
  int count = ChooseOwnerSessions(table.data(), static_cast<int>(table.size()), sid, console, chosen.data(),
                                  capacity < 0 ? static_cast<int>(table.size()) : capacity);
  if (sid) LocalFree(sid);
  std::vector<DWORD> ids;
  for (int i = 0; i < count; ++i) ids.push_back(table[chosen[i]].SessionId);
  return ids;
}

TEST(OwnerSessions, ActiveSessionsOfTheOwnerComeFirstTheConsoleBeforeTheOthers) {
  std::vector<SessionEntry> table = {
      Session(0, WTSDisconnected, L"", L"", nullptr),  // services
      Session(1, WTSActive, L"anna", L"OFFICE", AnnaOffice),       Session(2, WTSDisconnected, L"bert", L"OFFICE", BertOffice),
      Session(3, WTSDisconnected, L"Anna", L"OFFICE", AnnaOffice), Session(4, WTSActive, L"bert", L"OFFICE", BertOffice),
      Session(5, WTSActive, L"ANNA", L"OFFICE", AnnaOffice),       Session(6, WTSListen, L"anna", L"OFFICE", AnnaOffice),
      Session(7, WTSConnected, L"anna", L"OFFICE", AnnaOffice),    Session(8, WTSActive, L"anna", L"HOME", AnnaHome),
      Session(9, WTSDown, L"anna", L"OFFICE", AnnaOffice),         Session(10, WTSActive, L"anna", L"OFFICE", nullptr),
  };
  EXPECT_EQ((std::vector<DWORD>{5, 1, 7, 3}), Chosen(table, AnnaOffice, 5)) << "HOME\\anna is someone else";
  EXPECT_EQ((std::vector<DWORD>{1, 5, 7, 3}), Chosen(table, AnnaOffice, 4)) << "another user's console changes nothing";
  EXPECT_EQ((std::vector<DWORD>{8}), Chosen(table, AnnaHome, 5)) << "and OFFICE\\anna for her";
  EXPECT_EQ((std::vector<DWORD>{4, 2}), Chosen(table, BertOffice, 5));
  EXPECT_EQ((std::vector<DWORD>{5, 1}), Chosen(table, AnnaOffice, 5, 2)) << "no more than there is room for";
  EXPECT_TRUE(Chosen(table, L"S-1-5-21-100-200-300-1003", 5).empty()) << "no session of the owner: the documented pipe";
  EXPECT_TRUE(Chosen(table, nullptr, 5).empty()) << "an owner that could not be told matches no session";
}

TEST(OwnerSessions, NoFixedNumberOfSessions) {
  std::vector<SessionEntry> table;
  for (DWORD id = 1; id <= 300; ++id) table.push_back(Session(id, WTSActive, L"anna", L"OFFICE", id % 3 ? BertOffice : AnnaOffice));
  std::vector<DWORD> chosen = Chosen(table, AnnaOffice, 0);
  ASSERT_EQ(100u, chosen.size());
  EXPECT_EQ(3u, chosen.front());
  EXPECT_EQ(300u, chosen.back()) << "the owner's sessions past the 64th are tried as well";
}

}  // namespace
