// placeholder: being written
#include "cli/cli_options.h"
