#include "quilltray/spool_file.h"

#include <stdio.h>
#include <wchar.h>

#include "quilltray/app_launch.h"
#include "shared/pipe_protocol.h"
#include "shared/quillstack_ids.h"

volatile LONG JobsPrinted = 0;

namespace {

const WCHAR Extension[] = L".Quillstack";
const size_t ExtensionUnits = 11;
// Room kept after the name part: the longest counter "(32766)", the extension, the terminator,
// and one unit for the guard that keeps a device name from being opened.
const size_t NameReserveUnits = 7 + ExtensionUnits + 1 + 1;
const int Pass0Attempts = 255;
const int Pass1Attempts = 32767;

bool IsBlank(WCHAR c) { return c == L' ' || c == L'\t'; }

// Appends at most count units of source to text, never beyond limit (the terminator included).
void AppendBounded(WCHAR* text, size_t limit, const WCHAR* source, size_t count) {
  size_t length = wcslen(text);
  while (count > 0 && *source && length + 1 < limit) {
    text[length++] = *source++;
    --count;
  }
  text[length] = L'\0';
}

bool IsReservedDeviceStem(const WCHAR* stem, size_t length) {
  static const WCHAR* const plain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const WCHAR* name : plain) {
    if (wcslen(name) == length && _wcsnicmp(stem, name, length) == 0) return true;
  }
  if (length == 4 && (_wcsnicmp(stem, L"COM", 3) == 0 || _wcsnicmp(stem, L"LPT", 3) == 0)) {
    WCHAR digit = stem[3];
    // Windows also counts the superscript digits one to three as port numbers.
    return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
  }
  return false;
}

// A name whose part before the first full stop (trailing blanks and stops ignored) is a device
// name would open the device instead of a file: such a name gets a leading underscore.
void GuardDeviceName(WCHAR* name) {
  size_t stem = 0;
  while (name[stem] && name[stem] != L'.') ++stem;
  while (stem > 0 && (name[stem - 1] == L' ' || name[stem - 1] == L'.')) --stem;
  if (!IsReservedDeviceStem(name, stem)) return;
  memmove(name + 1, name, (wcslen(name) + 1) * sizeof(WCHAR));
  name[0] = L'_';
}

const WCHAR* BaseTitle(const WCHAR* title) {
  const WCHAR* base = title;
  const WCHAR* scheme = wcsstr(title, L"://");
  if (scheme && scheme[3]) base = scheme + 3;
  const WCHAR* slash = wcsrchr(base, L'\\');
  if (slash && slash[1]) base = slash + 1;
  return base;
}

// Builds one candidate name part at name (limit units from name on).
void BuildNamePart(WCHAR* name, size_t limit, const WCHAR* base, WORD mode, int pass, size_t titleBound) {
  name[0] = L'\0';
  if (pass == 1) {
    AppendBounded(name, limit, L"Document", titleBound);
    return;
  }
  switch (mode) {
    case NAME_MODE_TIME_ONLY: AppendTimeStamp(name, limit); break;
    case NAME_MODE_TIME_THEN_TITLE:
      AppendTimeStamp(name, limit);
      AppendBounded(name, limit, base, static_cast<size_t>(-1));
      break;
    case NAME_MODE_TITLE_THEN_TIME:
      AppendBounded(name, limit, base, titleBound);
      AppendTimeStamp(name, limit);
      break;
    default: AppendBounded(name, limit, base, titleBound); break;
  }
}

// Ends the current job unstored: its partial file goes, nothing is started, the job is not
// counted, and the window tells the user.
DWORD FailJob(JobSession* session, DWORD error) {
  CloseSpoolFile(session);
  if (session->SpoolPath[0]) DeleteFileW(session->SpoolPath);
  session->SpoolPath[0] = L'\0';
  session->SpoolEnded = FALSE;
  session->SpoolError = 0;
  session->LastJobFailed = TRUE;
  PostMessageW(MainWindow, UM_JOB_FAILED, error, 0);
  return error;
}

// Drops the file of a job that can no longer be stored whole; the job's end reports it.
void StopStoring(JobSession* session, DWORD error) {
  CloseSpoolFile(session);
  if (session->SpoolPath[0]) DeleteFileW(session->SpoolPath);
  session->SpoolPath[0] = L'\0';
  session->SpoolError = error ? error : ERROR_WRITE_FAULT;
}

// Whether CreateFileW failed for the folder rather than for the name it tried: another name
// can't help then, and thousands of attempts would only hold the job up (and name it
// "Document(n)" if the folder came back meanwhile).
bool FolderRefuses(const WCHAR* path, DWORD error) {
  switch (error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_WRITE_PROTECT:
    case ERROR_NOT_READY:
      return true;
    case ERROR_ACCESS_DENIED: {
      // A name that is taken (a read-only file, a folder, a file being deleted) refuses access
      // too; a folder that takes no new file refuses it for a name that does not exist.
      if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) return false;
      bool missing = GetLastError() == ERROR_FILE_NOT_FOUND;
      SetLastError(error);
      return missing;
    }
    default:
      return false;
  }
}

}  // namespace

void CloseSpoolFile(JobSession* session) {
  if (session->SpoolFile) {
    CloseHandle(session->SpoolFile);
    session->SpoolFile = nullptr;
  }
}

DWORD HandleRecord(JobSession* session, WORD type, WORD payloadLength) {
  switch (type) {
    case RECORD_OPEN_SPOOL: {
      // Without a NameMode the record says nothing usable; it is dropped.
      if (payloadLength < 2 || !session->Payload) return 0;
      session->Payload[payloadLength] = 0;
      session->Payload[payloadLength + 1] = 0;
      // An odd length leaves the title's last unit half written: the next one must be zero too,
      // not what an earlier record left there.
      session->Payload[payloadLength + 2] = 0;
      if (session->SpoolFile) return 0;
      // The path is about to be replaced: a file whose job already ended goes now, or nobody would
      // ever delete it. (A file closed by CloseSpool stays, as it always has.)
      if (session->SpoolEnded && session->SpoolPath[0]) DeleteFileW(session->SpoolPath);
      session->SpoolEnded = FALSE;
      WCHAR directory[MAX_PATH + 1] = {};
      DWORD length = GetTempPathW(MAX_PATH, directory);
      if (length == 0 || length >= MAX_PATH) directory[0] = L'\0';
      WORD mode = static_cast<WORD>(session->Payload[0] | (session->Payload[1] << 8));
      // A new job: whatever became of the one before is reported already.
      session->SpoolError = 0;
      session->LastJobFailed = FALSE;
      session->SpoolFile = CreateSpoolFile(directory, reinterpret_cast<const WCHAR*>(session->Payload + 2), session->SpoolPath, mode);
      if (!session->SpoolFile) session->SpoolError = GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE;
      return 0;
    }
    case RECORD_CLOSE_SPOOL: CloseSpoolFile(session); return 0;
    case RECORD_JOB_DONE_OPEN:
    case RECORD_JOB_DONE: {
      CloseSpoolFile(session);
      // A file that was not made or not written whole is never handed off or counted. A writer
      // that asks for results also learns when nothing was stored at all.
      DWORD error = session->SpoolError;
      if (!error && !session->SpoolPath[0] && session->WantsResults) error = ERROR_INVALID_DATA;
      if (error) return FailJob(session, error);
      // A writer of the documented format gets its job counted before the hand-off, as ever (a
      // balloon asked for on another connection may come first); one that asks for results only
      // once the hand-off succeeded, since a failed one sends the job again.
      if (!session->WantsResults) InterlockedIncrement(&JobsPrinted);
      // Only a file this connection made is handed off.
      if (type == RECORD_JOB_DONE_OPEN && payloadLength >= 2) {
        WORD flags = static_cast<WORD>(session->Payload[0] | (session->Payload[1] << 8));
        // For a writer that asks for results the file must not stay after a failure; for any
        // other it is all that is left of the job.
        if (session->SpoolPath[0] && !StartApplication(flags, session->SpoolPath) && session->WantsResults)
          return FailJob(session, GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND);
        session->SpoolPath[0] = L'\0';
      } else {
        session->SpoolEnded = TRUE;
      }
      if (session->WantsResults) InterlockedIncrement(&JobsPrinted);
      return 0;
    }
    case RECORD_SPOOL_DATA: {
      if (!session->SpoolFile) return 0;
      DWORD written = 0;
      if (!WriteFile(session->SpoolFile, session->Payload, payloadLength, &written, nullptr)) {
        StopStoring(session, GetLastError());
      } else if (written != payloadLength) {
        StopStoring(session, ERROR_WRITE_FAULT);
      }
      return 0;
    }
    default: return 0;
  }
}

void FinishConnection(JobSession* session) {
  CloseSpoolFile(session);
  if (session->SpoolPath[0]) DeleteFileW(session->SpoolPath);
}

HANDLE CreateSpoolFile(const WCHAR* directory, const WCHAR* title, WCHAR* path, WORD mode) {
  if (!title) title = L"document";
  while (IsBlank(*title)) ++title;
  for (int pass = 0; pass < 2; ++pass) {
    path[0] = L'\0';
    AppendBounded(path, SPOOL_PATH_UNITS, directory, static_cast<size_t>(-1));
    if (!EnsureDirectory(path)) break;
    size_t d = wcslen(path);
    if (d > 0 && path[d - 1] != L'\\' && path[d - 1] != L'/') AppendBounded(path, SPOOL_PATH_UNITS, L"\\", 1);
    d = wcslen(path);
    // A directory so long that no name fits after it makes no file.
    if (d == 0 || d + NameReserveUnits >= SPOOL_PATH_UNITS) break;
    WCHAR* name = path + d;
    size_t nameLimit = SPOOL_PATH_UNITS - d - NameReserveUnits + 1;  // units for the name part and its terminator
    BuildNamePart(name, nameLimit, BaseTitle(title), mode, pass, d + 79);
    size_t nameLength = wcslen(name);
    while (nameLength > 0 && IsBlank(name[nameLength - 1])) name[--nameLength] = L'\0';
    SanitizeFileName(name);
    GuardDeviceName(name);
    nameLength = wcslen(name);
    int limit = pass == 0 ? Pass0Attempts : Pass1Attempts;
    for (int n = 0; n < limit; ++n) {
      name[nameLength] = L'\0';
      if (n > 0) _snwprintf(name + nameLength, 8, L"(%d)", n);
      wcscat(name, Extension);
      HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, nullptr);
      if (file != INVALID_HANDLE_VALUE) return file;
      if (FolderRefuses(path, GetLastError())) {
        DWORD error = GetLastError();
        path[0] = L'\0';
        SetLastError(error);
        return nullptr;
      }
    }
  }
  // Nothing was made, so nothing may be deleted or handed off later.
  DWORD error = GetLastError();
  path[0] = L'\0';
  SetLastError(error);
  return nullptr;
}

void SanitizeFileName(WCHAR* text) {
  if (!text[0]) return;
  long lastKept = -1;
  for (long i = 0; text[i]; ++i) {
    WCHAR c = text[i];
    if ((c >= 0x01 && c <= 0x1F) || c == L'"' || c == L'*' || c == L'<' || c == L'>' || c == L'?' || c == L'|') {
      text[i] = L'_';
    } else if (c == L'/' || c == L'\\') {
      text[i] = L',';
    } else if (c == L':') {
      text[i] = L';';
    } else {
      lastKept = i;
    }
  }
  if (lastKept > 0) text[lastKept + 1] = L'\0';
}

void AppendTimeStamp(WCHAR* text, size_t capacity) {
  FILETIME utc, local;
  SYSTEMTIME now;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &now);
  WCHAR date[64] = {}, time[64] = {};
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE, &now, nullptr, date, 64);
  GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE | TIME_NOSECONDS, &now, nullptr, time, 64);
  WCHAR stamp[160];
  _snwprintf(stamp, 160, L"(%s %s)", date, time);
  stamp[159] = L'\0';
  AppendBounded(text, capacity, stamp, static_cast<size_t>(-1));
}

bool IsDirectory(const WCHAR* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EnsureDirectory(const WCHAR* path) {
  if (IsDirectory(path) || CreateDirectoryW(path, nullptr)) return true;
  size_t length = wcslen(path);
  if (length >= 2 && length <= 259) {
    WCHAR parent[260];
    wcscpy(parent, path);
    size_t end = length;
    if (parent[end - 1] == L'\\' || parent[end - 1] == L'/') --end;
    while (end > 0 && parent[end - 1] != L'\\' && parent[end - 1] != L'/') --end;
    if (end > 0) {
      parent[end - 1] = L'\0';
      if (parent[0] && EnsureDirectory(parent) && CreateDirectoryW(path, nullptr)) return true;
    }
  }
  return IsDirectory(path);
}
