// The monitor as a Windows service (WindowsService.cpp; Windows only):
//   svcproc-monitor --service install [options]   registers the service, which
//                                                  runs the monitor with options
//   svcproc-monitor --service uninstall            stops and removes it
//   svcproc-monitor --service run [options]        what the service control
//                                                  manager starts (not by hand)
// The service is "svcproc-exporter", started automatically (delayed) under
// the virtual account NT SERVICE\svcproc-exporter with a restricted service
// SID, and restarted after a failure (ServiceConfiguration.h); its options are
// usually --listen and/or --watch --output FILE, as UTF-8.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace monitor_service {

constexpr const wchar_t* kServiceName = L"svcproc-exporter";

// The monitor's run with the options that follow "--service run": returns its
// exit status when `stop` turns true or it ends by itself.
using ServiceBody = std::function<int(std::atomic<bool>& stop)>;

// True when argv starts with --service (argv[1]); then `exitCode` is the
// status to exit with and messages have gone to standard error. For "run",
// `body` runs under the service control manager, on the service's thread, and
// a stop or shutdown request sets its stop flag.
bool HandleServiceCommand(int argc, char** argv, const ServiceBody& body, int& exitCode);

}  // namespace monitor_service
