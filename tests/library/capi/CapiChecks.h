/* The C interface's checks against a running simulated machine, written in
   C on svcproc_c.h alone. The host program supplies the machine and a way
   to wait. */
#ifndef SVCP_TESTS_CAPI_CHECKS_H
#define SVCP_TESTS_CAPI_CHECKS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CapiHost {
    /* Sleeps for about `milliseconds`. */
    void (*SleepMs)(unsigned milliseconds);
    /* Changes a sensor's alert state (each call the other way); null when
       the machine raises alerts by itself. */
    void (*RaiseAlerts)(void* host);
    void* Host;
    /* How long to wait for alerts. */
    unsigned AlertTimeoutMs;
} CapiHost;

/* Runs every check, printing a line per sensor, LED and alert and one per
   failure; returns the number of failures. */
int RunCapiChecks(const CapiHost* host);

#ifdef __cplusplus
}
#endif

#endif
