// Cabinet extraction through the system's cabinet library: FDI, loaded from
// cabinet.dll at every call and released after it. Names handed to FDI and
// back through the file callbacks are the program's UTF-8 texts; every file
// call of ours opens them by their wide names.
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "archive/cabinet.h"
#include "archive/cabinet_names.h"
#include "platform/paths.h"
#include "platform/win32_text.h"

namespace zephron {
namespace {

namespace fs = std::filesystem;
using platform::win32::Narrow;
using platform::win32::WidePath;

using FdiCreate = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
using FdiIsCabinet = BOOL(DIAMONDAPI*)(HFDI, INT_PTR, PFDICABINETINFO);
using FdiCopy = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
using FdiDestroy = BOOL(DIAMONDAPI*)(HFDI);

// The state of the one extraction that runs at a time.
struct Extraction {
  fs::path root;            // nothing may be written outside it
  std::string target;       // the target folder as given, joined to stored names
  bool noTarget = false;    // files go to the current folder
  bool skippedUnsafe = false;
  std::wstring openFile;    // the file being written, removed when the extraction fails
};
std::mutex gLock;
Extraction* gExtraction = nullptr;

FNALLOC(Allocate) { return std::malloc(cb); }
FNFREE(Free) { std::free(pv); }

FNOPEN(Open) {
  (void)pmode;
  const bool write = (oflag & (_O_WRONLY | _O_RDWR)) != 0;
  HANDLE file = ::CreateFileW(WidePath(pszFile).c_str(), write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ, nullptr, (oflag & _O_CREAT) ? CREATE_ALWAYS : OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(file);
}

FNREAD(Read) {
  DWORD got = 0;
  return ::ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &got, nullptr) ? static_cast<UINT>(got) : static_cast<UINT>(-1);
}

FNWRITE(Write) {
  DWORD done = 0;
  return ::WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &done, nullptr) && done == cb ? static_cast<UINT>(done)
                                                                                          : static_cast<UINT>(-1);
}

FNCLOSE(Close) { return ::CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1; }

FNSEEK(Seek) {
  LARGE_INTEGER distance{}, position{};
  distance.QuadPart = dist;
  const DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
  if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(hf), distance, &position, method)) return -1;
  return static_cast<long>(position.QuadPart);
}

INT_PTR CopyFileNotice(const FDINOTIFICATION& notice) {
  Extraction& run = *gExtraction;
  const std::string name = platform::ToSlashes(cabinet_names::StoredNameToUtf8(notice.psz1, notice.attribs));
  const fs::path target = run.noTarget ? fs::current_path() / fs::path(WidePath(name)) : fs::path(WidePath(run.target + name));
  if (cabinet_names::IsUnsafeName(name) || !cabinet_names::IsInside(run.root, target)) {
    run.skippedUnsafe = true;
    return 0;  // skipped; the extraction goes on and ends with -1
  }
  std::error_code ec;
  if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
  HANDLE file = ::CreateFileW(target.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  run.openFile = target.wstring();
  return reinterpret_cast<INT_PTR>(file);
}

INT_PTR CloseFileNotice(const FDINOTIFICATION& notice) {
  HANDLE file = reinterpret_cast<HANDLE>(notice.hf);
  // The stored date and time are local time; the file system keeps UTC.
  FILETIME local{}, utc{};
  if (::DosDateTimeToFileTime(notice.date, notice.time, &local) && ::LocalFileTimeToFileTime(&local, &utc)) {
    ::SetFileTime(file, nullptr, nullptr, &utc);
  }
  ::CloseHandle(file);
  gExtraction->openFile.clear();
  return TRUE;
}

FNFDINOTIFY(Notify) {
  switch (fdint) {
    case fdintCOPY_FILE:
      return CopyFileNotice(*pfdin);
    case fdintCLOSE_FILE_INFO:
      return CloseFileNotice(*pfdin);
    default:
      return 0;  // cabinet information, partial files, the next cabinet: go on
  }
}

// cabinet.dll, released when the object goes.
class Library {
 public:
  Library() : module_(::LoadLibraryW(L"cabinet.dll")) {}
  ~Library() {
    if (module_) ::FreeLibrary(module_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  template <typename F>
  F Get(const char* name) const {
    return module_ ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module_, name))) : nullptr;
  }

 private:
  HMODULE module_;
};

}  // namespace

int ExtractCabinet(const std::string& cabinet, const std::string& targetDir) {
  const std::lock_guard lock(gLock);
  const INT_PTR probe = Open(const_cast<char*>(cabinet.c_str()), _O_RDONLY, 0);
  if (probe == -1) return -1;
  Close(probe);

  const Library library;
  const auto create = library.Get<FdiCreate>("FDICreate");
  const auto isCabinet = library.Get<FdiIsCabinet>("FDIIsCabinet");
  const auto copy = library.Get<FdiCopy>("FDICopy");
  const auto destroy = library.Get<FdiDestroy>("FDIDestroy");
  if (!create || !isCabinet || !copy || !destroy) return -1;

  ERF error{};
  HFDI context = create(Allocate, Free, Open, Read, Write, Close, Seek, cpu80386, &error);
  if (!context) return -1;

  FDICABINETINFO info{};
  const INT_PTR handle = Open(const_cast<char*>(cabinet.c_str()), _O_RDONLY, 0);
  const bool isCab = handle != -1 && isCabinet(context, handle, &info);
  if (handle != -1) Close(handle);

  int result = -1;
  if (isCab) {
    std::error_code ec;
    Extraction run;
    run.target = platform::ToSlashes(targetDir);
    run.noTarget = targetDir.empty();
    const std::string targetFolder = platform::ExtractFilePath(run.target);
    run.root = run.noTarget ? fs::current_path(ec) : fs::path(targetFolder.empty() ? L"." : WidePath(targetFolder));
    const fs::path full = fs::absolute(fs::path(WidePath(cabinet)), ec);
    std::string name = Narrow(full.filename().wstring());
    std::string folder = Narrow(full.parent_path().wstring()) + "\\";
    gExtraction = &run;
    const bool copied = copy(context, name.data(), folder.data(), 0, Notify, nullptr, nullptr);
    gExtraction = nullptr;
    if (!run.openFile.empty()) ::DeleteFileW(run.openFile.c_str());  // cut off by a failure: not left truncated
    result = copied && !run.skippedUnsafe ? 0 : -1;
  }
  if (!destroy(context)) result = -1;
  return result;
}

}  // namespace zephron
