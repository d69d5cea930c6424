// A short demonstration of the engine's status reports: an engine with
// logging on reports the steps of a check into its log and on the console.
#include <cstdio>
#include <string>

#include "engine/zephron.h"
#include "platform/last_error.h"

int main(int argc, char** argv) {
  using namespace zephron;
  TZephron engine;
  engine.Logging = true;
  engine.UpdateUpdate = zpuSilent;
  if (argc > 1) engine.SetLogFileName(argv[1]);
  engine.OnStatus = [](TZephron&, const std::string& text, int status, int error) {
    std::printf("status %2d error %3d  %s\n", status, error, text.c_str());
  };

  engine.DoStatus(msgStartProcess, engine.Version(), 0, 0);
  engine.DoStatus(msgCheckingConnection, "", 3, 0);
  engine.DoStatus(msgFoundConnection, "", 3, 0);
  engine.DoStatus(msgDownload, "http://127.0.0.1/zephron/zephron.INF", 3, 0);
  platform::SetLastSystemError(12007);
  engine.Error();
  engine.DoStatus(msgFileNotFound, "http://127.0.0.1/zephron/zephron.INF", 2, 1);
  engine.DoStatus(msgControlFileNotFound, "", 2, 0);
  engine.DoStatus(msgClosedConnection, "", 3, 0);

  std::printf("engine log: %s\n", EngineLogFile().c_str());
  return 0;
}
