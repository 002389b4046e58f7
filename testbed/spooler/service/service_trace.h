// A plain-text trace of the service's life in C:\windows\temp\quillspoolsvc.log, for the person
// who debugs a test: the service has no console and Wine's debug channels are off in tests.
#pragma once

void TraceLine(const wchar_t* format, ...);
