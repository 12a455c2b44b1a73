// One live run at a time: a second live run waits for the first's lock, or
// fails naming its PID; a snapshot run takes no lock.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "grpaudit/platform/process.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

TEST(RunLock, ASecondLiveRunWaitsOrFailsNamingTheHolder) {
  const TempDir dir;
  // A transport that never answers: its run holds the lock until killed.
  const std::string hang =
      dir.write("hang.sh", "#!/bin/sh\ntouch " + dir.path() + "/asked\nexec sleep 60\n");
  ASSERT_EQ(::chmod(hang.c_str(), 0755), 0);
  const std::string ports = dir.write("ports", "xe0 swp1\n");
  const std::string lock = dir.path() + "/lock";
  const std::string live = std::string(GRPAUDIT_BINARY) + " dump --port-table " + ports +
                           " --lock-file " + lock + " --sdk-shell ";
  const auto r =
      platform::run_process({"/bin/sh", "-c",
                             live + hang +
                                 " 2>/dev/null & first=$!\n"
                                 "while [ ! -e " +
                                 dir.path() +
                                 "/asked ]; do sleep 0.05; done\n"
                                 // Refused at once, then let in when the first run ends.
                                 + live +
                                 "/bin/false 2>&1; echo \"exit $? holder $first\"\n"
                                 "(sleep 0.3; kill $first) &\n" +
                                 live + "/bin/false --lock-wait 20 2>&1; echo \"exit $?\"\n" +
                                 std::string(GRPAUDIT_BINARY) + " dump --snapshot " +
                                 source_path("examples/leaf-riot.json") + " --lock-file " + lock +
                                 " >/dev/null; echo \"exit $?\"\n"});
  // The first run's PID is the one the refusal names.
  const auto holder_at = r.out.find("holder ");
  ASSERT_NE(holder_at, std::string::npos) << r.out;
  const std::string pid = r.out.substr(holder_at + 7, r.out.find('\n', holder_at) - holder_at - 7);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n', holder_at) + 1),
            "grpaudit: error: another grpaudit run holds the lock " + lock + " (PID " + pid +
                "); one live run at a time (--lock-wait SECONDS waits for it)\nexit 2 holder " +
                pid + "\n");
  // Let in, the second run goes as far as its transport takes it.
  EXPECT_NE(r.out.find("SDK shell transport /bin/false failed"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 14), "exit 2\nexit 0\n") << r.out;
}

}  // namespace
}  // namespace grpaudit::testing
