#include "cli/cli_run.h"
#include "platform/file.h"

int main(int argc, char** argv) {
  PrepareOutputSignals();
  return RunCli(argc, argv);
}
