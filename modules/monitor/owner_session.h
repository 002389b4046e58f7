// Which dispatcher gets a job: the one in a logon session of the user who printed it. Every
// dispatcher serves a job pipe of its own session beside the documented one; the documented pipe
// goes to whoever started listening last, which on a machine with several users is not always the
// job's owner.
#pragma once
#include <windows.h>

#include "modules/jobpipe/job_pipe_writer.h"

#define SESSION_NAME_UNITS 128

// One logon session as the terminal-services API reports it.
struct SessionEntry {
  DWORD SessionId;
  DWORD State;  // WTS_CONNECTSTATE_CLASS
  WCHAR UserName[SESSION_NAME_UNITS];
  WCHAR DomainName[SESSION_NAME_UNITS];
};

// The sessions of `owner` (a user name, or DOMAIN\name) that may hold its dispatcher, best first:
// active ones (the console's first), then connected, then disconnected ones. Sessions of other
// users and sessions in any other state are left out. Writes at most capacity indexes into
// `chosen`; returns how many.
int ChooseOwnerSessions(const SessionEntry* sessions, int count, const WCHAR* owner, DWORD consoleSession, int* chosen,
                        int capacity);
// The machine's sessions through Wtsapi32.dll, loaded at run time; -1 when it can't tell.
int ReadSessions(SessionEntry* sessions, int capacity);
// The job pipe of a session's dispatcher.
void SessionPipeName(DWORD sessionId, char* name, size_t size);
// Connects the writer to the dispatcher of the job's owner (a user name as the spooler reports
// it; empty when unknown) within timeoutMs: the pipe of one of the owner's sessions whose server
// runs as the owner, else the documented job pipe. Only the owner may read the data pipe; with no
// owner known, only the user this thread acts as.
bool ConnectToOwner(JobPipeWriter* writer, const WCHAR* owner, DWORD timeoutMs);
