// Printers as the info records of GetPrinterW and EnumPrintersW show them (levels 1, 2, 4).
#pragma once
#include <string>
#include <vector>

#include "spooler_link.h"

struct PrinterRecord {
  std::wstring Name, Share, Port, Driver, Comment, Location, SepFile, PrintProcessor, Datatype, Parameters;
  DWORD Attributes, Priority, DefaultPriority, StartTime, UntilTime, Status, Jobs;
};

// Looks the printer up by name (case-insensitive, as Windows does); false when there is none.
bool ReadPrinterRecord(const std::wstring& name, PrinterRecord& record);
std::vector<PrinterRecord> ReadPrinterRecords();
DWORD PrinterRecordBytes(DWORD level);  // 0 for an unsupported level
void FillPrinterRecord(InfoPacker& packer, BYTE* record, DWORD level, const PrinterRecord& printer);
// Clears the user's default printer when it names this printer.
void ForgetDefaultPrinter(const std::wstring& name);
