// Spool files: the records that create, fill and close a connection's file in the temporary folder.
#pragma once

#include <windows.h>

#include "quilltray/job_session.h"

// For a record that ends a job (JobDoneOpen, JobDone): 0 when its file was stored whole and, if
// asked, handed off, else the error that stopped it (the file is then gone and the window told).
// 0 for every other record.
DWORD HandleRecord(JobSession* session, WORD type, WORD payloadLength);
void FinishConnection(JobSession* session);
void CloseSpoolFile(JobSession* session);
// Creates a new file in directory named after title (null: "document") and the mode; path
// receives its full name (SPOOL_PATH_UNITS units). Null when no file was made (the last error says
// why); path is then empty. A folder that takes no new file at all is given up at once.
HANDLE CreateSpoolFile(const WCHAR* directory, const WCHAR* title, WCHAR* path, WORD mode);
// Maps the characters a file name cannot hold, in place; may shorten the text.
void SanitizeFileName(WCHAR* text);
// Appends "(date time)" of the current local time; capacity counts the units from text on.
void AppendTimeStamp(WCHAR* text, size_t capacity);
bool IsDirectory(const WCHAR* path);
bool EnsureDirectory(const WCHAR* path);
