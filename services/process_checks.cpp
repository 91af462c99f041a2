#include "process_checks.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "constants.h"

namespace {

// How long an ended program is waited for, so its files are free afterwards.
const DWORD kTerminateWaitMs = 5000;

const wchar_t kMenuMarker[] = L" ..\\etc\\cblconfi ..\\obj\\tkmenu.acu rete ";

// Calls visit for every process of a snapshot; none when it cannot be taken.
template <typename Visit>
void WalkProcesses(Visit visit) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof entry;
  if (Process32First(snapshot, &entry)) {
    do {
      visit(entry);
    } while (Process32Next(snapshot, &entry));
  }
  CloseHandle(snapshot);
}

void Terminate(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
  if (process) {
    // TerminateProcess only starts the end: wait until the program's files
    // are no longer held.
    if (TerminateProcess(process, 0)) WaitForSingleObject(process, kTerminateWaitMs);
  } else {
    process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (!process) return;
    TerminateProcess(process, 0);
  }
  CloseHandle(process);
}

bool IsImageRunning(const char* image, bool terminate) {
  bool found = false;
  WalkProcesses([&](const PROCESSENTRY32& entry) {
    if (std::strcmp(entry.szExeFile, image) != 0) return;
    found = true;
    if (terminate) Terminate(entry.th32ProcessID);
  });
  return found;
}

struct ProcessBasicInformation32 {
  LONG exitStatus;
  ULONG pebBaseAddress;
  ULONG affinityMask;
  LONG basePriority;
  ULONG uniqueProcessId;
  ULONG inheritedFromUniqueProcessId;
};
static_assert(sizeof(ProcessBasicInformation32) == 24, "32-bit layout");

struct CountedString32 {
  USHORT length;
  USHORT maximumLength;
  ULONG buffer;
};

typedef LONG(WINAPI* NtQueryInformationProcessFunction)(HANDLE, ULONG, PVOID, ULONG, PULONG);

bool IsWow64(HANDLE process, bool* wow64) {
  BOOL value = FALSE;
  if (!IsWow64Process(process, &value)) return false;
  *wow64 = value != FALSE;
  return true;
}

// Reads the command line of a 32-bit process; false when it cannot be read.
bool ReadCommandLine(HANDLE process, std::wstring* commandLine) {
  // The offsets below are those of a process of the setup's own bitness: a
  // process of the other kind would be read at the wrong places.
  bool selfWow64 = false, otherWow64 = false;
  if (!IsWow64(GetCurrentProcess(), &selfWow64) || !IsWow64(process, &otherWow64) ||
      selfWow64 != otherWow64)
    return false;

  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (!ntdll) return false;
  auto query = reinterpret_cast<NtQueryInformationProcessFunction>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess")));
  if (!query) return false;
  ProcessBasicInformation32 info = {};
  if (query(process, 0, &info, sizeof info, nullptr) != 0) return false;

  ULONG parameters = 0;
  CountedString32 text = {};
  if (!ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(info.pebBaseAddress + 0x10)),
                         &parameters, sizeof parameters, nullptr) ||
      !ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(parameters + 0x40)), &text,
                         sizeof text, nullptr))
    return false;
  std::vector<wchar_t> buffer(text.length / 2 + 1);
  if (text.length > 0 &&
      !ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(text.buffer)), buffer.data(),
                         text.length, nullptr))
    return false;
  commandLine->assign(buffer.data(), text.length / 2);
  return true;
}

}  // namespace

bool IsDesktopAppRunning(bool terminate) { return IsImageRunning(g_desktopAppExe.c_str(), terminate); }

bool IsVexRunning(bool terminate) { return IsImageRunning("vex.exe", terminate); }

bool IsKorvalRunning() {
  bool found = false;
  WalkProcesses([&](const PROCESSENTRY32& entry) {
    if (std::strcmp(entry.szExeFile, "wrun32.exe") != 0) return;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (!process) return;
    std::wstring commandLine;
    if (ReadCommandLine(process, &commandLine) && commandLine.find(kMenuMarker) != std::wstring::npos)
      found = true;
    CloseHandle(process);
  });
  return found;
}
