// Who may talk to this dispatcher, and the job pipe of its own logon session.
#pragma once

#include <windows.h>

// Whether the process serving a data pipe we opened runs as LocalSystem (the spooler) or as our
// own user: only such a server's records are acted on.
bool DataPipeServerTrusted(HANDLE pipe);
// The job pipe of this process's logon session (QUILL_PIPE_NAME_CHARS), false when the session
// can't be told.
bool OwnSessionPipeName(char* name, size_t size);
// Security for the session's job pipe: our own user and SYSTEM only, nothing for network logons.
// The caller frees both blocks with LocalFree.
bool BuildSessionPipeSecurity(SECURITY_ATTRIBUTES** attributes, PSECURITY_DESCRIPTOR* descriptor);
