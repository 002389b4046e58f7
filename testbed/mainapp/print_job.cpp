// Hands a file to the running dispatcher as one print job, the way the port monitor does:
//   testbed_print.exe TITLE FILE [LAUNCH_FLAGS]
// OpenSpool (title only) with TITLE, the file's bytes as SpoolData, then JobDoneOpen with
// LAUNCH_FLAGS (default 3: " /drv /silent"). Exit code 0 when every record was written and read.
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>

#include "modules/jobpipe/job_pipe_writer.h"

namespace {

// Sends the file in pieces of 1 MiB; false when it can't be read or a record can't be written.
bool SendFile(JobPipeWriter* writer, const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD pieceSize = 1 << 20;
  BYTE* piece = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, pieceSize));
  bool ok = piece != nullptr;
  for (DWORD read = 0; ok; ) {
    if (!ReadFile(file, piece, pieceSize, &read, nullptr)) ok = false;
    else if (read == 0) break;
    else ok = WriteSpoolData(writer, piece, read);
  }
  if (piece) LocalFree(piece);
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: testbed_print TITLE FILE [LAUNCH_FLAGS]\n");
    return 2;
  }
  WORD flags = argc > 3 ? static_cast<WORD>(wcstoul(argv[3], nullptr, 10)) : 3;
  JobPipeWriter writer = {};
  if (!ConnectJobPipe(&writer, 10000)) {
    fwprintf(stderr, L"testbed_print: no dispatcher answers on the job pipe\n");
    return 1;
  }
  bool ok = WriteOpenSpool(&writer, 0, argv[1]) && SendFile(&writer, argv[2]) && WriteJobDoneOpen(&writer, flags);
  CloseJobPipeWriter(&writer, ok);
  if (!ok) fwprintf(stderr, L"testbed_print: the job could not be sent whole\n");
  return ok ? 0 : 1;
}
