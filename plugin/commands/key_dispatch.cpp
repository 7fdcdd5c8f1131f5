// Until the commands are built every key stays with the host.
#include "commands/key_dispatch.h"

int DispatchKey(BSOBrowser *, int, unsigned int) {
    return 0;
}
