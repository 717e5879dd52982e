// The installer with a fault planned by the environment variable
// INSTALLER_FAULT: "fail N ERRNO" makes the N-th file operation fail with
// ERRNO, "kill N" ends the process at it, "cut N" ends it as a power cut
// does (what was written since the last sync comes back empty), and
// "oom N" makes it throw std::bad_alloc, as an allocation that fails does;
// "count" prints the number of file operations of the run on standard
// error; "trace" prints every file operation there.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/file_ops.h"
#include "run/entry_point.h"

int main(int argc, char** argv) {
  const char* planned = getenv("INSTALLER_FAULT");
  std::istringstream words(planned ? planned : "");
  std::string kind;
  fileops::FaultPlan plan;
  words >> kind >> plan.at >> plan.error;
  plan.fault = kind == "fail" ? fileops::Fault::Fail
               : kind == "kill" ? fileops::Fault::Kill
               : kind == "cut"  ? fileops::Fault::PowerCut
               : kind == "oom"  ? fileops::Fault::OutOfMemory
                                : fileops::Fault::None;
  plan.trace = kind == "trace";
  fileops::setFaultPlan(plan);
  const int status = installerMain(argc, argv);
  if (kind == "count") fprintf(stderr, "file operations: %llu\n", (unsigned long long)fileops::operationCount());
  return status;
}
