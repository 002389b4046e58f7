// The printer's capabilities as DeviceCapabilities reports them, derived from the job settings'
// papers and resolutions so that they agree with what the driver renders.
#pragma once
#include <windows.h>

#include <stddef.h>

// Sizes of the text entries of the list capabilities, in characters.
const size_t PaperNameChars = 64;     // DC_PAPERNAMES, DC_MEDIAREADY, DC_MEDIATYPENAMES
const size_t BinNameChars = 24;       // DC_BINNAMES

// The answer to one DC_ index: a number, or for a list the count of its entries, written to output
// when it is not null. outputBytes bounds what is written (SIZE_MAX when the caller does not say);
// a list that does not fit writes nothing and fails with ERROR_INSUFFICIENT_BUFFER. GDI_ERROR for
// an index this printer does not answer.
DWORD QueryDeviceCapability(HINSTANCE module, WORD index, void* output, size_t outputBytes);
