#include "bugreport/fatal_signals.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>

#include "bugreport/fault_file.h"
#include "bugreport/report_text.h"
#include "platform/win32_text.h"

namespace zephron::bugreport {
namespace {

// The exception std::terminate is turned into, so that it takes the same
// way out as every other fatal fault.
constexpr DWORD kTerminateException = 0xE0000100;

// Everything the filter needs is prepared at installation, so that it has
// nothing to compute, allocate or look up beyond what the system gives it.
wchar_t gFaultFile[MAX_PATH * 2];
char gPreamble[8192];
std::size_t gPreambleLength = 0;
wchar_t gReporterCommand[MAX_PATH * 4];
char gTerminateWhat[2048];
volatile LONG gHandling = 0;
DWORD gMainThread = 0;
HMODULE gModules[512];

void Put(HANDLE file, const char* text, std::size_t length) {
  while (length > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) || written == 0) return;
    text += written;
    length -= written;
  }
}

void Put(HANDLE file, const char* text) { Put(file, text, std::strlen(text)); }

void PutNumber(HANDLE file, unsigned long long value, unsigned base) {
  char digits[32];
  const char* first = FormatDigits(digits, sizeof digits, value, base);
  if (base == 16) Put(file, "0x");
  Put(file, first, static_cast<std::size_t>(digits + sizeof digits - first));
}

const char* ExceptionName(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "EXCEPTION_ACCESS_VIOLATION";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case EXCEPTION_IN_PAGE_ERROR: return "EXCEPTION_IN_PAGE_ERROR";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case EXCEPTION_PRIV_INSTRUCTION: return "EXCEPTION_PRIV_INSTRUCTION";
    case EXCEPTION_STACK_OVERFLOW: return "EXCEPTION_STACK_OVERFLOW";
    case kTerminateException: return "std::terminate";
    default: return "EXCEPTION";
  }
}

// The return addresses from where the thread stood, unwound from a copy of
// its context by the unwind tables of each function.
void PutFrames(HANDLE file, const CONTEXT& at) {
  CONTEXT context = at;
  for (int i = 0; i < 128 && context.Rip != 0; ++i) {
    PutNumber(file, context.Rip, 16);
    Put(file, "\n");
    DWORD64 base = 0;
    const PRUNTIME_FUNCTION function = ::RtlLookupFunctionEntry(context.Rip, &base, nullptr);
    if (function == nullptr) {
      // A leaf function: its return address is on top of the stack.
      if (context.Rsp == 0 || ::IsBadReadPtr(reinterpret_cast<void*>(context.Rsp), 8)) break;
      context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
      context.Rsp += 8;
    } else {
      void* handlerData = nullptr;
      DWORD64 frame = 0;
      ::RtlVirtualUnwind(UNW_FLAG_NHANDLER, base, context.Rip, function, &context, &handlerData, &frame, nullptr);
    }
  }
}

// The loaded modules, as stack_trace.h's ReadOwnMaps writes them.
void PutModules(HANDLE file) {
  DWORD needed = 0;
  const HANDLE self = ::GetCurrentProcess();
  if (!::EnumProcessModules(self, gModules, sizeof gModules, &needed)) return;
  const DWORD count = std::min<DWORD>(needed / sizeof(HMODULE), 512);
  for (DWORD i = 0; i < count; ++i) {
    MODULEINFO info{};
    static wchar_t wide[MAX_PATH];
    static char path[MAX_PATH * 3];
    if (!::GetModuleInformation(self, gModules[i], &info, sizeof info) ||
        ::GetModuleFileNameW(gModules[i], wide, MAX_PATH) == 0) {
      continue;
    }
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, sizeof path, nullptr, nullptr);
    if (length <= 1) continue;
    for (char* c = path; *c != '\0'; ++c) {
      if (*c == '\\') *c = '/';
    }
    const auto start = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
    char range[64];
    char* end = range;
    for (const std::uintptr_t value : {start, start + info.SizeOfImage}) {
      char digits[20];
      const char* first = FormatDigits(digits, sizeof digits, value, 16);
      const auto count = static_cast<std::size_t>(digits + sizeof digits - first);
      std::memcpy(end, first, count);
      end += count;
      *end++ = value == start ? '-' : ' ';
    }
    Put(file, range, static_cast<std::size_t>(end - range));
    Put(file, path, static_cast<std::size_t>(length - 1));
    Put(file, "\n");
  }
}

void StartReporter() {
  if (gReporterCommand[0] == L'\0') return;
  static wchar_t command[sizeof gReporterCommand / sizeof(wchar_t)];
  std::memcpy(command, gReporterCommand, sizeof command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                       &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  if (::InterlockedExchange(&gHandling, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
  const HANDLE file =
      ::CreateFileW(gFaultFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD& record = *info->ExceptionRecord;
  Put(file, kFaultFileTag);
  Put(file, "\nexception ");
  PutNumber(file, record.ExceptionCode, 16);
  Put(file, " ");
  Put(file, ExceptionName(record.ExceptionCode));
  // An access violation names the address it touched, anything else where it happened.
  const bool touched = record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2;
  Put(file, "\naddress ");
  PutNumber(file, touched ? record.ExceptionInformation[1] : reinterpret_cast<std::uintptr_t>(record.ExceptionAddress),
            16);
  Put(file, "\npc ");
  PutNumber(file, info->ContextRecord->Rip, 16);
  Put(file, "\nthread ");
  PutNumber(file, ::GetCurrentThreadId(), 10);
  Put(file, "\nprocess ");
  PutNumber(file, ::GetCurrentProcessId(), 10);
  Put(file, "\nmain ");
  PutNumber(file, gMainThread, 10);
  Put(file, "\ntime ");
  PutNumber(file, static_cast<unsigned long long>(std::time(nullptr)), 10);
  if (gTerminateWhat[0] != '\0') {
    Put(file, "\nterminate ");
    Put(file, gTerminateWhat);
  }
  Put(file, "\n");
  Put(file, gPreamble, gPreambleLength);
  Put(file, "frames\n");
  PutFrames(file, *info->ContextRecord);
  Put(file, "maps\n");
  PutModules(file);
  ::CloseHandle(file);
  StartReporter();
  // The system ends the process with the exception's own code.
  return EXCEPTION_CONTINUE_SEARCH;
}

void OnTerminate() {
  std::string what = "std::terminate called";
  if (const std::exception_ptr error = std::current_exception()) {
    what += " with an uncaught exception " + DescribeException(error);
  }
  const std::size_t length = std::min(what.size(), sizeof gTerminateWhat - 1);
  std::memcpy(gTerminateWhat, what.data(), length);
  gTerminateWhat[length] = '\0';
  for (char& c : gTerminateWhat) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  ::RaiseException(kTerminateException, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

bool InstallFatalHandlers(const std::string& reporter) {
  const std::string folder = FaultFolder();
  std::error_code error;
  if (folder.empty() || (!std::filesystem::create_directories(folder, error) && error)) return false;
  const std::wstring file = platform::win32::WidePath(folder + "/fault-" + std::to_string(::GetCurrentProcessId()) +
                                                      "-" + std::to_string(std::time(nullptr)) + ".txt");
  std::wstring command;
  if (!reporter.empty()) {
    command = L"\"" + platform::win32::WidePath(reporter) + L"\" " + platform::win32::Wide(kReporterOption) + L" \"" +
              file + L"\"";
  }
  if (file.size() >= sizeof gFaultFile / sizeof(wchar_t) || command.size() >= sizeof gReporterCommand / sizeof(wchar_t)) {
    return false;
  }
  std::wmemcpy(gFaultFile, file.c_str(), file.size() + 1);
  std::wmemcpy(gReporterCommand, command.c_str(), command.size() + 1);

  const TBugReportHeader header = CurrentHeader();
  std::string preamble;
  for (const auto& [name, value] : header.Fields()) preamble += "field " + name + "=" + OneLine(value) + "\n";
  preamble += "os " + OneLine(OperatingSystemText()) + "\n";
  const std::size_t length = std::min(preamble.size(), sizeof gPreamble - 1);
  std::memcpy(gPreamble, preamble.data(), length);
  gPreambleLength = length;

  gMainThread = ::GetCurrentThreadId();
  // No system error box for the faults this program reports itself.
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(OnUnhandledException);
  std::set_terminate(OnTerminate);
  return true;
}

}  // namespace zephron::bugreport
