// The stand-in's winspool.drv talks to the service over one named pipe, in fixed-size messages.
// The pipe exists exactly while the service runs: a client that cannot open it reports
// RPC_S_SERVER_UNAVAILABLE, as winspool does on Windows when the spooler is stopped.
#pragma once
#include <windows.h>

#define SPOOLER_PIPE_NAME L"\\\\.\\pipe\\QuillstackTestbedSpooler"

enum SpoolerCommand : DWORD {
  SpoolerPing = 1,
  SpoolerTakeFault,       // Text1: fault value name; reply Error: the error to fail with, or 0
  SpoolerAddMonitor,      // Text1: name, Text2: DLL file name
  SpoolerDeleteMonitor,   // Text1: name
  SpoolerEnumPorts,       // reply Text: "port\0monitor\0...\0"
  SpoolerUseDriver,       // Text1: environment, Text2: driver name (a printer of it was opened)
  SpoolerDeleteDriver,    // Text1: environment, Text2: driver name, Number: delete flags
  SpoolerStartDoc,        // Text1: printer, Text2: document name; reply Number: job id, Text: spool file
  SpoolerEndDoc,          // Number: job id
  SpoolerAbortDoc,        // Number: job id
  SpoolerPurge,           // Text1: printer
  SpoolerCountJobs,       // Text1: printer; reply Number
  SpoolerDeletePrinter,   // Text1: printer
  SpoolerShutdown,        // stop the service (for the test bed, after Wine refused a stop request)
  SpoolerEnumJobs,        // Text1: printer; reply Text: six texts a job (see ListJobs in the service)
  SpoolerSetJob,          // Text1: printer, Number: job id, Text2: the command in decimal
};

#define SPOOLER_TEXT_CHARS 520

struct SpoolerRequest {
  DWORD Command;
  DWORD Number;
  WCHAR Text1[SPOOLER_TEXT_CHARS];
  WCHAR Text2[SPOOLER_TEXT_CHARS];
  WCHAR Text3[SPOOLER_TEXT_CHARS];
};

#define SPOOLER_REPLY_CHARS 8192

struct SpoolerReply {
  DWORD Error;       // a Windows error code, 0 on success
  DWORD Number;
  DWORD Generation;  // changes with every start of the service
  DWORD TextChars;   // characters used in Text, terminators included
  WCHAR Text[SPOOLER_REPLY_CHARS];
};
