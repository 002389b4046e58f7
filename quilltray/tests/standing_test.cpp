// Whose data pipe quilltray reads, and who gets a connection thread: the decisions for what Wine
// cannot show with real processes (there every process runs as one user in one session, and none
// as LocalSystem).
#include <gtest/gtest.h>

#include "quilltray/pipe_identity.h"

namespace {

ServerFacts Facts(bool sameProcess, bool trustedUser, bool otherSession, bool sameImage) {
  ServerFacts facts = {};
  facts.SameProcessAsClient = sameProcess;
  facts.UserKnown = true;
  facts.LocalSystemOrOwnUser = trustedUser;
  facts.SessionKnown = facts.ImageKnown = true;
  facts.OtherSession = otherSession;
  facts.SameImage = sameImage;
  return facts;
}

TEST(ServerStanding, OnlyTheClientsOwnPipeCountsAndOnlyAQuilltrayOfAnotherSessionMayStopUs) {
  EXPECT_EQ(SERVER_TRUSTED, StandingOf(Facts(true, true, false, false))) << "the spooler or our own user";
  EXPECT_EQ(SERVER_STRANGER, StandingOf(Facts(false, true, false, true))) << "a name made first by another process, even ours";
  EXPECT_EQ(SERVER_PEER_DISPATCHER, StandingOf(Facts(true, false, true, true))) << "quilltray of another user's session";
  EXPECT_EQ(SERVER_STRANGER, StandingOf(Facts(true, false, false, true))) << "another user's quilltray in our own session";
  EXPECT_EQ(SERVER_STRANGER, StandingOf(Facts(true, false, true, false))) << "another program of another session";
  EXPECT_EQ(SERVER_STRANGER, StandingOf(Facts(false, false, true, true)));
  ServerFacts unknown = Facts(true, false, true, true);
  unknown.ImageKnown = false;
  EXPECT_EQ(SERVER_STRANGER, StandingOf(unknown)) << "a program that can't be told is not quilltray";
  unknown = Facts(true, true, false, false);
  unknown.UserKnown = false;
  EXPECT_EQ(SERVER_STRANGER, StandingOf(unknown)) << "a user that can't be told is not trusted";
}

TEST(ConnectionAdmission, ABoundedNumberOfThreadsWithAReserveForTheSpooler) {
  const LONG general = ConnectionLimit - SpoolerReserve;
  EXPECT_TRUE(AdmitsConnection(0, false));
  EXPECT_TRUE(AdmitsConnection(general - 1, false));
  EXPECT_FALSE(AdmitsConnection(general, false)) << "the reserve is not for anyone";
  EXPECT_TRUE(AdmitsConnection(general, true));
  EXPECT_TRUE(AdmitsConnection(ConnectionLimit - 1, true));
  EXPECT_FALSE(AdmitsConnection(ConnectionLimit, true)) << "nor without end for the spooler";
}

}  // namespace
