// A restart asked for by a deferred action, passed on to Windows Installer.
//
// Deferred custom actions may not call MsiSetMode; so the deferred action that learns of files
// waiting for the next restart leaves a mark in the registry, and an immediate action after
// InstallFinalize takes the mark and sets MSIRUNMODE_REBOOTATEND (msiexec then ends with 3010).
#pragma once
#include <windows.h>

// HKLM\SOFTWARE\Corvell\Quillstack (64-bit view), DWORD value "PackageRestartNeeded".
bool MarkRestartNeeded();
void ClearRestartMark();
// Whether the mark was there; removes it.
bool TakeRestartMark();
