/* The C interface's checks as a program of their own, against the machine
   the environment names (svcproc-sim serving in SVCP_DEVICE_DIR), whose
   scenario raises alerts by itself. */
#include <time.h>

#include "CapiChecks.h"

static void SleepMs(unsigned milliseconds) {
    struct timespec delay;
    delay.tv_sec = (time_t)(milliseconds / 1000u);
    delay.tv_nsec = (long)(milliseconds % 1000u) * 1000000L;
    nanosleep(&delay, NULL);
}

int main(void) {
    CapiHost host = {SleepMs, NULL, NULL, 30000u};
    return RunCapiChecks(&host) == 0 ? 0 : 1;
}
