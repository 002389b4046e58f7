// Times install.exe's sequences on the spooler stand-in, the product staged where it is installed:
// "install" on a clean machine, "install" over an installation with two printers that carry key
// names (remembered and re-created), and "uninstall". Counts the spooler's restarts of each run
// from the stand-in's trace of its starts, and in a last pass with Shift held from the log's
// ">Restart Spooler" lines, which must agree. Not run by ctest: testbed/bench-install.sh.
//   install_bench.exe [rounds (5)]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "spooler_testbed.h"
#include "support/install_process.h"
#include "support/product_state.h"

namespace {

const wchar_t SetupExe[] = L"C:\\Program Files\\Corvell\\Quillstack\\setup\\install.exe";

struct Scenario {
  const char* Name;
  const wchar_t* Word;
  DWORD ExpectedCode;
  std::vector<double> Seconds;
  std::vector<int> Restarts;
  int LogRestarts = -1, TraceRestarts = -1;
  Scenario(const char* name, const wchar_t* word, DWORD expectedCode) : Name(name), Word(word), ExpectedCode(expectedCode) {}
};

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool CleanMachine() {
  EndTray();
  DeleteRunValue();
  return ResetSpooler() && DeleteSystemMonitorFile();
}

// The installation that the second scenario reinstalls over: two printers with key names.
bool KeyedPrinters() {
  return GiveKeyName(L"Quillstack", "bench-one") && AddOurPrinter(L"Quillstack Two", L"bench") &&
         GiveKeyName(L"Quillstack Two", "bench-two");
}

int CountLines(const std::wstring& text, const std::wstring& line) {
  int count = 0;
  for (size_t at = text.find(line); at != std::wstring::npos; at = text.find(line, at + 1))
    if ((at == 0 || text[at - 1] == L' ' || text[at - 1] == L'\n') && text.compare(at + line.size(), 2, L"\r\n") == 0) ++count;
  return count;
}

bool Run(Scenario& scenario, bool timed) {
  int startsBefore = SpoolerStarts();
  DWORD code;
  if (timed) {
    double start = Now();
    code = RunInstallProcessAt(SetupExe, scenario.Word);
    scenario.Seconds.push_back(Now() - start);
    scenario.Restarts.push_back(SpoolerStarts() - startsBefore);
  } else {
    DialogRun run = RunWithLogDialog(SetupExe, scenario.Word, DialogClose::CloseButton);
    code = run.ExitCode;
    scenario.LogRestarts = run.Shown ? CountLines(run.Text, L">Restart Spooler") : -1;
    scenario.TraceRestarts = SpoolerStarts() - startsBefore;
  }
  if (code != scenario.ExpectedCode)
    std::printf("%s: exit code %lu, expected %lu\n", scenario.Name, code, scenario.ExpectedCode);
  return code == scenario.ExpectedCode;
}

// One round: clean machine, install, key names and a second printer, install, uninstall.
bool Round(std::vector<Scenario>& scenarios, bool timed) {
  if (!CleanMachine()) {
    std::printf("could not make a clean machine\n");
    return false;
  }
  bool ok = Run(scenarios[0], timed);
  if (!KeyedPrinters()) {
    std::printf("could not prepare the printers with key names\n");
    return false;
  }
  ok = Run(scenarios[1], timed) && ok;
  if (KeyName(L"Quillstack Two") != "bench-two" || KeyName(L"Quillstack") != "bench-one") {
    std::printf("the reinstall lost a printer with a key name\n");
    ok = false;
  }
  return Run(scenarios[2], timed) && ok;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  if (rounds < 1) rounds = 1;
  std::vector<Scenario> scenarios = {{"install, clean machine", L"install", 1},
                                     {"install over 2 printers with key names", L"install", 1},
                                     {"uninstall", L"uninstall", 2}};
  bool ok = true;
  // A first round warms Wine's caches (DLLs, registry) and is not counted.
  std::vector<Scenario> warmUp = scenarios;
  ok = Round(warmUp, true) && ok;
  for (int round = 0; round < rounds; ++round) ok = Round(scenarios, true) && ok;
  ok = Round(scenarios, false) && ok;
  CleanMachine();

  std::printf("install.exe on the spooler stand-in, %d rounds after one warm-up round\n", rounds);
  std::printf("%-40s %8s %8s %8s   %s\n", "sequence", "median", "min", "max", "spooler restarts per run (trace; log)");
  for (const Scenario& s : scenarios) {
    std::string restarts;
    for (int r : s.Restarts) restarts += std::to_string(r) + " ";
    std::printf("%-40s %7.2fs %7.2fs %7.2fs   %s; log %d (trace %d)\n", s.Name, Median(s.Seconds),
                *std::min_element(s.Seconds.begin(), s.Seconds.end()), *std::max_element(s.Seconds.begin(), s.Seconds.end()),
                restarts.c_str(), s.LogRestarts, s.TraceRestarts);
    if (s.LogRestarts != s.TraceRestarts) {
      std::printf("%s: the log counts %d restarts, the trace %d starts\n", s.Name, s.LogRestarts, s.TraceRestarts);
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
