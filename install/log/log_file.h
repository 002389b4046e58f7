// The installation log on disk: every install and uninstall appends its log to
// "<common application data>\Corvell\Quillstack\install.log", so that a run nobody watched
// (a deployment tool, a service in session 0) leaves a trace.
#pragma once
#include <windows.h>

#include "../control/install_context.h"

// The file is started afresh (the old one kept as "install.log.old") once it would grow past this.
const DWORD LogFileLimitBytes = 512 * 1024;

// Appends a header line with the local time and the command word, then the log text, as UTF-8,
// through the handles of the verified folder (log_folder.h). Silent: a log file that can't be
// written, or a folder that is refused, changes nothing of the run.
void AppendLogFile(const InstallContext& context, const WCHAR* commandWord);
// The log file's full path into `path` (MAX_PATH units); false when the folder is unknown.
bool LogFilePath(WCHAR* path);
