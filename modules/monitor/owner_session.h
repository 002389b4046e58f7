// Which dispatcher gets a job: the one in a logon session of the user who printed it. Every
// dispatcher serves a job pipe of its own session beside the documented one; the documented pipe
// goes to whoever started listening last, which on a machine with several users is not always the
// job's owner.
#pragma once
#include <windows.h>

#include "modules/jobpipe/job_pipe_writer.h"

#define SESSION_NAME_UNITS 128

// One logon session as the terminal-services API reports it, with the SID of its user when it
// could be told (from the session's token, else from its account name).
struct SessionEntry {
  DWORD SessionId;
  DWORD State;  // WTS_CONNECTSTATE_CLASS
  WCHAR UserName[SESSION_NAME_UNITS];
  WCHAR DomainName[SESSION_NAME_UNITS];
  BYTE UserSid[SECURITY_MAX_SID_SIZE];
  bool HasSid;
};

// Each candidate session pipe is given at most this long, so that a pipe someone keeps busy never
// takes the whole connect time; the documented pipe keeps at least DocumentedPipeReserveMs of it.
const DWORD SessionPipeLimitMs = 1500;
const DWORD DocumentedPipeReserveMs = 4000;
// Bound for one account look-up (a domain controller that does not answer).
const DWORD AccountLookupLimitMs = 2000;

// The sessions whose user is `owner` (by SID) that may hold its dispatcher, best first: active ones
// (the console's first), then connected, then disconnected ones. Sessions of other users, sessions
// whose user is not known, and sessions in any other state are left out. Writes at most capacity
// indexes into `chosen`; returns how many.
int ChooseOwnerSessions(const SessionEntry* sessions, int count, PSID owner, DWORD consoleSession, int* chosen, int capacity);
// The machine's sessions through Wtsapi32.dll, loaded at run time, however many there are: a
// LocalAlloc block the caller frees, or null (and *count -1) when it can't tell.
SessionEntry* ReadSessions(int* count);
// The job pipe of a session's dispatcher.
void SessionPipeName(DWORD sessionId, char* name, size_t size);
// The SID of an account name (DOMAIN\name or name), waiting at most limitMs for the look-up.
bool BoundedAccountSid(const WCHAR* account, BYTE* sid, DWORD limitMs);
// The job's owner: the user the calling thread acts as (the spooler acts as the job's user while it
// starts the job), unless that is LocalSystem itself; then the user the spooler names for the job
// (`owner`, may be empty), looked up within AccountLookupLimitMs.
bool JobOwnerSid(const WCHAR* owner, BYTE* sid);
// Connects the writer to the dispatcher of the job's owner within timeoutMs: the pipe of one of the
// owner's sessions whose server runs as the owner, else the documented job pipe, also served by
// the owner. A connection that is refused or whose data pipe can't be made is tried again until the
// time is up. Only the owner may read the data pipe.
bool ConnectToOwner(JobPipeWriter* writer, PSID owner, DWORD timeoutMs);
// The same with the owner's sessions given, best first.
bool ConnectToOwnerIn(JobPipeWriter* writer, PSID owner, const DWORD* sessionIds, int count, DWORD timeoutMs);
