// brontaflex-cli doctor: checks the set-up end to end and says the fix for
// each failure, for a technician at a machine where something does not work.
#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Commands.h"
#include "cli/JsonOutput.h"
#include "ops/Doctor.h"
#include "ops/DriverSelection.h"
#include "ops/SetupAdvice.h"
#include "pod/Clock.h"
#ifdef __linux__
#include "pod/TtyDriver.h"
#endif

namespace {

// A check failed: a write cannot be made until it is fixed.
constexpr int kExitCheckFailed = 1;

const std::array<CliOption, 2> kOptions{{
#ifdef __linux__
    {"--driver", "NAME",
     "check only this backend: d2xx, tty, tty:/dev/PATH or emulator (default: BRONTAFLEX_DRIVER, "
     "else d2xx and tty)"},
#else
    {"--driver", "NAME",
     "check only this backend: d2xx or emulator (default: BRONTAFLEX_DRIVER, else d2xx)"},
#endif
    {"--json", "", "print one JSON object with every check"},
}};

nlohmann::ordered_json CheckJson(const DoctorCheck& check) {
  return {
      {"check", check.check},
      {"subject", check.subject},
      {"status", check.status == CheckStatus::Ok     ? "ok"
                 : check.status == CheckStatus::Warn ? "warn"
                                                     : "fail"},
      {"detail", check.detail},
      {"fix", check.fix},
  };
}

// "ok    ping BFX00001: answers through tty", and the fix on a line of its own.
void PrintCheck(const DoctorCheck& check) {
  std::string name(CheckStatusName(check.status));
  name.resize(6, ' ');
  std::cout << name << check.check << (check.subject.empty() ? "" : " " + check.subject) << ": "
            << check.detail << '\n';
  if (!check.fix.empty()) {
    std::cout << "      fix: " << check.fix << '\n';
  }
  std::cout.flush();
}

int Run(const CliArgs& args) {
  SystemClock clock;
  const std::string named = args.Value("--driver").value_or(DriverNameFromEnvironment());
  DoctorSetup setup;
#ifdef __linux__
  const std::vector<std::string> names =
      named.empty() ? std::vector<std::string>{"d2xx", "tty"} : std::vector<std::string>{named};
  if (named.empty() || named.starts_with("tty") || named == "d2xx") {
    setup.usbBridges = [] { return TtyDriver().DescribeUsbBridges(); };
  }
  setup.installedRules = InstalledRules();
#else
  const std::vector<std::string> names =
      named.empty() ? std::vector<std::string>{"d2xx"} : std::vector<std::string>{named};
#endif
  for (const std::string& name : names) {
    DriverSelection selection =
        SelectDriver(name, clock, EmulatorSetupFromEnvironment(kDefaultMcuType));
    if (!selection.driver) {
      std::cerr << "brontaflex-cli doctor: " << selection.error << '\n';
      return kExitUsage;
    }
    setup.backends.push_back(std::move(selection.driver));
  }
  const bool json = args.Has("--json");
  nlohmann::ordered_json checks = nlohmann::ordered_json::array();
  const bool passed = RunDoctor(setup, clock, [&](const DoctorCheck& check) {
    if (json) {
      checks.push_back(CheckJson(check));
    } else {
      PrintCheck(check);
    }
  });
  const int exitCode = passed ? kExitOk : kExitCheckFailed;
  if (json) {
    std::cout << JsonText(nlohmann::ordered_json{{"command", "doctor"},
                                                 {"passed", passed},
                                                 {"exitCode", exitCode},
                                                 {"checks", checks}})
              << '\n';
  } else {
    std::cout << (passed ? "Everything a write needs is in place\n"
                         : "Something a write needs is missing: see the fixes above\n");
  }
  return exitCode;
}

}  // namespace

const CliCommand kDoctorCommand{
    .name = "doctor",
    .operands = "",
    .minOperands = 0,
    .maxOperands = 0,
    .summary = "check the drivers, the access rights, the PODs and their targets, with fixes",
    .details =
        "Checks in order, one line each (ok, warn or FAIL), with the fix under each\n"
        "warning or failure: which driver backends load and from where; on Linux the\n"
        "kernel driver bound to each FTDI bridge and who may open each POD's USB\n"
        "device and serial port; the latency timer; every POD seen, by serial number;\n"
        "and for each POD the ping, the line speed, the firmware version and the\n"
        "target's reset (the target is reset). With --json: one object {\"command\":\n"
        "\"doctor\", \"passed\", \"exitCode\", \"checks\": [...]}, each check with check,\n"
        "subject, status (ok, warn, fail), detail and fix.\n\n"
        "Exit status:\n"
        "  0   everything a write needs is in place (warnings aside)\n"
        "  1   a check failed\n"
        "  64  bad usage, or a driver that cannot be set up\n",
    .options = kOptions,
    .run = Run,
};
