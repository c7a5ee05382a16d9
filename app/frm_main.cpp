// placeholder: being written
#include "app/frm_main.h"
