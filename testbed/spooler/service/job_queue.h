// Jobs: the client writes the spool file, the service despools it through the port monitor of
// the printer's port when the document ends.
#pragma once
#include <string>

#include "spooler_state.h"

DWORD StartJob(SpoolerState& state, const std::wstring& printer, const std::wstring& document, DWORD& jobId,
               std::wstring& spoolFile);
DWORD EndJob(SpoolerState& state, DWORD jobId);
DWORD AbortJob(SpoolerState& state, DWORD jobId);
DWORD PurgeJobs(SpoolerState& state, const std::wstring& printer);
DWORD CountJobs(const SpoolerState& state, const std::wstring& printer);
void DropAllJobs(SpoolerState& state);
