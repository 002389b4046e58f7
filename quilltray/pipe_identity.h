// Who may talk to this dispatcher, and the job pipe of its own logon session.
#pragma once

#include <windows.h>

// What the dispatcher makes of the process that serves a connection's data pipe.
enum ServerStanding {
  // Anyone else, or a process other than the one that connected to the job pipe (someone who
  // made the data pipe's name first): nothing of theirs is acted on.
  SERVER_STRANGER = 0,
  // A quilltray of another logon session taking the documented pipe over: StopListening alone.
  SERVER_PEER_DISPATCHER = 1,
  // LocalSystem (the spooler) or our own user: every record.
  SERVER_TRUSTED = 2,
};

// What is known of a data pipe's server, gathered by JudgeDataPipeServer.
struct ServerFacts {
  bool SameProcessAsClient;  // it is the process that connected to the job pipe
  bool UserKnown;            // its user could be read (from its token, else the pipe's owner)
  bool LocalSystemOrOwnUser; // that user is LocalSystem or ours (for the pipe's owner: or Administrators)
  bool SessionKnown;
  bool OtherSession;         // it runs in another logon session than ours
  bool ImageKnown;
  bool SameImage;            // its program file is ours
};
ServerStanding StandingOf(const ServerFacts& facts);
// The standing of the server of `dataPipe` (our client end), given the process that connected to
// the job pipe (clientProcessId).
ServerStanding JudgeDataPipeServer(HANDLE dataPipe, ULONG clientProcessId);
// Whether the process that connected to a job-pipe instance (its server end) runs as LocalSystem.
bool JobPipeClientIsLocalSystem(HANDLE instance, ULONG* processId);

// Connection threads at most, and how many of them only connections from LocalSystem (the
// spooler) may take: whoever else connects, the spooler's jobs still find room.
const LONG ConnectionLimit = 48;
const LONG SpoolerReserve = 16;
// Whether a connection may have a thread while `live` others have one.
bool AdmitsConnection(LONG live, bool fromLocalSystem);

// The job pipe of this process's logon session (QUILL_PIPE_NAME_CHARS), false when the session
// can't be told.
bool OwnSessionPipeName(char* name, size_t size);
// Security for the session's job pipe: our own user and SYSTEM only, nothing for network logons.
// The caller frees both blocks with LocalFree.
bool BuildSessionPipeSecurity(SECURITY_ATTRIBUTES** attributes, PSECURITY_DESCRIPTOR* descriptor);
