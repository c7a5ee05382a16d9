#include "cli/cli_run.h"
#include "platform/pending_output.h"

int main(int argc, char** argv) {
  PrepareOutputSignals();
  return RunCli(argc, argv);
}
