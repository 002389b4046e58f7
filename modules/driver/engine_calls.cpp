#include "engine_calls.h"

namespace {

// One function from gdi32 (already loaded in every process that prints), else from the executable.
FARPROC FindEngineFunction(const char* name) {
  HMODULE gdi = GetModuleHandleW(L"gdi32.dll");
  FARPROC found = gdi ? GetProcAddress(gdi, name) : nullptr;
  if (!found) found = GetProcAddress(GetModuleHandleW(nullptr), name);
  return found;
}

template <typename Function>
bool Find(Function& target, const char* name) {
  target = reinterpret_cast<Function>(reinterpret_cast<void*>(FindEngineFunction(name)));
  return target != nullptr;
}

}  // namespace

bool ResolveEngineCalls(EngineCalls& calls) {
  bool found = Find(calls.CreateBitmap, "EngCreateBitmap");
  found = Find(calls.AssociateSurface, "EngAssociateSurface") && found;
  found = Find(calls.DeleteSurface, "EngDeleteSurface") && found;
  found = Find(calls.CreatePalette, "EngCreatePalette") && found;
  found = Find(calls.DeletePalette, "EngDeletePalette") && found;
  found = Find(calls.WritePrinter, "EngWritePrinter") && found;
  Find(calls.CheckAbort, "EngCheckAbort");
  if (!found) SetLastError(ERROR_PROC_NOT_FOUND);
  return found;
}
