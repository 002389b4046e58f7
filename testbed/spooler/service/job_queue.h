// Jobs, as Windows queues them: the client writes the spool file; EndDocPrinter only marks the
// job as spooled; a thread of the service (the despooler) hands finished jobs, in the order they
// were started, to the port monitor of the printer's port. A job whose monitor fails stays in
// the queue with an error status and is tried again every RetryPauseMs; a purged or deleted job
// is dropped (one that is being despooled at that moment once the monitor has let go of it).
// Callers other than the despooler hold state.Lock.
#pragma once
#include <string>

#include "spooler_state.h"

const DWORD RetryPauseMs = 3000;

DWORD StartJob(SpoolerState& state, const std::wstring& printer, const std::wstring& document, DWORD& jobId,
               std::wstring& spoolFile);
DWORD EndJob(SpoolerState& state, DWORD jobId);
DWORD AbortJob(SpoolerState& state, DWORD jobId);
DWORD PurgeJobs(SpoolerState& state, const std::wstring& printer);
DWORD CountJobs(const SpoolerState& state, const std::wstring& printer);
// SetJobW's commands: JOB_CONTROL_DELETE and JOB_CONTROL_CANCEL drop the job,
// JOB_CONTROL_SENT_TO_PRINTER (a monitor's EndDocPort) and JOB_CONTROL_RESTART are accepted.
DWORD ControlJob(SpoolerState& state, const std::wstring& printer, DWORD jobId, DWORD command);
// The printer's jobs for EnumJobsW, each as six texts: id, status bits, status text, document,
// size in bytes, submission time ("yyyy mm dd hh mm ss ms").
std::wstring ListJobs(const SpoolerState& state, const std::wstring& printer);
void DropAllJobs(SpoolerState& state);

// The despooler's thread: started with the service, stopped before the monitors are unloaded.
// StopDespooler waits a few seconds at most; false when the thread is still inside a monitor
// call (the monitors must then stay loaded until the process ends).
bool StartDespooler(SpoolerState& state);
bool StopDespooler(SpoolerState& state);
