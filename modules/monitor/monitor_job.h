// One port handle of the monitor and the job it carries to the dispatcher over the job pipe.
#pragma once
#include <windows.h>

#include "modules/jobpipe/job_pipe_writer.h"

// StartDocPort gives up when no dispatcher has taken the connection within this time.
const DWORD ConnectTimeoutMs = 10000;
// WritePort and EndDocPort give up when the dispatcher has taken nothing for this long (the
// job pipe writer's bound for one record).
const DWORD StallTimeoutMs = 30000;

struct MonitorPort {
  DWORD Magic;
  // The spooler may call ClosePort on one thread while WritePort waits on another: every call
  // holds a use of the port (the handle itself holds one until ClosePort), ClosePort sets Cancel,
  // which ends every wait of the port's writer at once, and frees the port only once Idle says
  // that the last use has ended.
  volatile LONG Uses;
  HANDLE Cancel;
  HANDLE Idle;
  JobPipeWriter Writer;
  bool InDocument;   // from a StartDocPort that succeeded to its EndDocPort
  DWORD WriteError;  // the error that broke the connection, 0 while it is sound
  // Two whole records: one is on its way through the pipe while WritePort fills the other, so
  // the bytes on the pipe do not depend on how the spooler chunks the job.
  BYTE* Records[2];
  int Filling;       // the record WritePort fills
  DWORD Filled;      // payload bytes in it
  HANDLE Printer;    // the job's printer, to learn whether the job was deleted; may be null
  DWORD JobId;
};
#define MONITOR_PORT_MAGIC 0x4D4C5156u

// Connects to the dispatcher and opens the spool file with the document's name.
BOOL StartJob(MonitorPort& port, LPWSTR printerName, DWORD jobId, LPCWSTR documentName);
BOOL WriteJobData(MonitorPort& port, const BYTE* data, DWORD size, LPDWORD written);
// Sends what is gathered, hands the file to the main application (JobDoneOpen, " /drv /silent")
// and asks for the job count balloon; a job that was deleted meanwhile is broken off instead,
// and the dispatcher deletes its file.
BOOL EndJob(MonitorPort& port);
// Breaks off a job that is still open (ClosePort without EndDocPort).
void AbortJob(MonitorPort& port);
