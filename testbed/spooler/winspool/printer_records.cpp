#include "printer_records.h"

#include "../common/print_registry.h"
#include "../common/testbed_spooler_keys.h"

bool ReadPrinterRecord(const std::wstring& name, PrinterRecord& record) {
  KeyScope key(OpenPrintKey(PrinterKeyPath(name), KEY_READ, false));
  if (!key.Key) return false;
  record.Name = ReadTextOr(key.Key, L"Name", name.c_str());
  record.Share = ReadTextOr(key.Key, L"Share Name", L"");
  record.Port = ReadTextOr(key.Key, L"Port", L"");
  record.Driver = ReadTextOr(key.Key, L"Printer Driver", L"");
  record.Comment = ReadTextOr(key.Key, L"Description", L"");
  record.Location = ReadTextOr(key.Key, L"Location", L"");
  record.SepFile = ReadTextOr(key.Key, L"Separator File", L"");
  record.PrintProcessor = ReadTextOr(key.Key, L"Print Processor", L"WinPrint");
  record.Datatype = ReadTextOr(key.Key, L"Datatype", L"RAW");
  record.Parameters = ReadTextOr(key.Key, L"Parameters", L"");
  record.Attributes = ReadNumber(key.Key, L"Attributes", 0) | PRINTER_ATTRIBUTE_LOCAL;
  record.Priority = ReadNumber(key.Key, L"Priority", 0);
  record.DefaultPriority = ReadNumber(key.Key, L"Default Priority", 0);
  record.StartTime = ReadNumber(key.Key, L"StartTime", 0);
  record.UntilTime = ReadNumber(key.Key, L"UntilTime", 0);
  record.Status = ReadNumber(key.Key, L"Status", 0);
  record.Jobs = 0;
  return true;
}

std::vector<PrinterRecord> ReadPrinterRecords() {
  std::vector<PrinterRecord> printers;
  KeyScope root(OpenPrintKey(L"Printers", KEY_READ, false));
  if (!root.Key) return printers;
  for (const std::wstring& name : SubKeyNames(root.Key)) {
    PrinterRecord record;
    if (ReadPrinterRecord(name, record)) printers.push_back(record);
  }
  return printers;
}

DWORD PrinterRecordBytes(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1W);
    case 2: return sizeof(PRINTER_INFO_2W);
    case 4: return sizeof(PRINTER_INFO_4W);
  }
  return 0;
}

void FillPrinterRecord(InfoPacker& packer, BYTE* record, DWORD level, const PrinterRecord& printer) {
  if (level == 1) {
    LPWSTR description = packer.Text(printer.Name + L"," + printer.Driver + L"," + printer.Location);
    LPWSTR name = packer.Text(printer.Name);
    LPWSTR comment = packer.Text(printer.Comment);
    if (!record) return;
    PRINTER_INFO_1W* info = reinterpret_cast<PRINTER_INFO_1W*>(record);
    info->Flags = PRINTER_ENUM_ICON8;
    info->pDescription = description;
    info->pName = name;
    info->pComment = comment;
    return;
  }
  if (level == 4) {
    LPWSTR name = packer.Text(printer.Name);
    if (!record) return;
    PRINTER_INFO_4W* info = reinterpret_cast<PRINTER_INFO_4W*>(record);
    info->pPrinterName = name;
    info->Attributes = printer.Attributes;
    return;
  }
  PRINTER_INFO_2W info = {};
  info.pPrinterName = packer.Text(printer.Name);
  info.pShareName = packer.Text(printer.Share);
  info.pPortName = packer.Text(printer.Port);
  info.pDriverName = packer.Text(printer.Driver);
  info.pComment = packer.Text(printer.Comment);
  info.pLocation = packer.Text(printer.Location);
  info.pSepFile = packer.Text(printer.SepFile);
  info.pPrintProcessor = packer.Text(printer.PrintProcessor);
  info.pDatatype = packer.Text(printer.Datatype);
  info.pParameters = packer.Text(printer.Parameters);
  info.Attributes = printer.Attributes;
  info.Priority = printer.Priority;
  info.DefaultPriority = printer.DefaultPriority;
  info.StartTime = printer.StartTime;
  info.UntilTime = printer.UntilTime;
  info.Status = printer.Status;
  info.cJobs = printer.Jobs;
  if (record) memcpy(record, &info, sizeof(info));
}

void ForgetDefaultPrinter(const std::wstring& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, TESTBED_WINDOWS_KEY, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  std::wstring device;
  if (ReadText(key, L"Device", device) && SameText(device.substr(0, device.find(L',')), name))
    RegDeleteValueW(key, L"Device");
  RegCloseKey(key);
}
