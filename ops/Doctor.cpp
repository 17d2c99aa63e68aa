#include "ops/Doctor.h"

#include <algorithm>
#include <map>
#include <utility>

#include "image/McuCatalogue.h"
#include "ops/FailureText.h"
#include "ops/SetupAdvice.h"
#include "pod/CsmKeys.h"
#include "pod/PodCommands.h"
#include "pod/PodLink.h"

namespace {

// A POD as the backends see it: by its serial number (its port where it has
// none), with where each backend sees it.
struct SeenPod {
  std::string name;
  std::string serialNumber;
  std::vector<std::pair<PortDriver*, PortDetails>> seenBy;
};

bool IsPod(const std::string& description) {
  return description == PodLink::kPodDescription;
}

// The failure's words without the "cause: " that the command line puts first.
std::string CauseText(const FailureCause& cause) {
  const std::string text = DescribeFailure(cause);
  return text.substr(text.find(' ') + 1);
}

class Doctor {
 public:
  Doctor(DoctorSetup& setup, Clock& clock, const std::function<void(DoctorCheck)>& report)
      : setup_(setup), clock_(clock), report_(report) {}

  bool Run() {
    CheckDrivers();
    if (setup_.usbBridges) {
      CheckBridges(setup_.usbBridges());
    }
    for (PortDriver* driver : loaded_) {
      CheckPorts(*driver);
    }
    for (const SeenPod& pod : PodsSeen()) {
      CheckPod(pod);
    }
    return !failed_;
  }

 private:
  void Report(std::string check, std::string subject, CheckStatus status, std::string detail,
              std::string fix = {}) {
    failed_ = failed_ || status == CheckStatus::Fail;
    report_({std::move(check), std::move(subject), status, std::move(detail), std::move(fix)});
  }

  // Each backend loads, or says why not; a missing one fails only when no
  // other can stand in for it.
  void CheckDrivers() {
    for (const auto& backend : setup_.backends) {
      if (backend->Load()) {
        loaded_.push_back(backend.get());
      }
    }
    for (const auto& backend : setup_.backends) {
      const std::string name = backend->Name();
      if (std::ranges::find(loaded_, backend.get()) != loaded_.end()) {
        const std::string from = backend->LoadedFrom();
        Report("driver", name, CheckStatus::Ok, from.empty() ? "loaded" : "loaded from " + from);
        continue;
      }
      const std::string problem = backend->LoadProblem();
      Report("driver", name, loaded_.empty() ? CheckStatus::Fail : CheckStatus::Warn,
             problem.empty() ? "does not load" : problem, MissingDriverFix(name));
    }
  }

  bool Loaded(std::string_view backend) const {
    return std::ranges::any_of(loaded_,
                               [&](const PortDriver* driver) { return driver->Name() == backend; });
  }

  // The kernel driver bound to each FTDI bridge, and who may open each POD's
  // USB device (what the D2XX library opens).
  void CheckBridges(const std::vector<UsbBridge>& bridges) {
    for (const UsbBridge& bridge : bridges) {
      std::string subject = bridge.name + " \"" + bridge.description + "\"";
      if (!bridge.serialNumber.empty()) {
        subject += " serial " + bridge.serialNumber;
      }
      const bool pod = IsPod(bridge.description);
      if (!bridge.kernelDriver.empty()) {
        Report("kernel driver", subject, CheckStatus::Ok,
               bridge.kernelDriver + " holds it: reached as a serial port");
      } else if (!pod || Loaded("d2xx")) {
        Report("kernel driver", subject, CheckStatus::Ok, "none bound: left to the D2XX library");
      } else {
        Report("kernel driver", subject, CheckStatus::Fail,
               "none bound, and the D2XX library is not there to reach it",
               "sudo modprobe ftdi_sio and plug the POD in again, or " + MissingDriverFix("d2xx"));
      }
      if (!pod || !Loaded("d2xx")) {
        continue;
      }
      if (bridge.accessProblem.empty()) {
        Report("access", bridge.node, CheckStatus::Ok, "this user may open it (D2XX)");
      } else {
        Report("access", bridge.node, CheckStatus::Warn,
               bridge.accessProblem + ": the D2XX library cannot open it",
               PermissionFix(bridge.group, setup_.installedRules));
      }
    }
  }

  // Who may open each POD's port, and its latency timer, where the backend
  // can tell without opening it.
  void CheckPorts(PortDriver& driver) {
    for (const PortDetails& port : driver.ListPorts()) {
      if (!IsPod(port.description) || !port.port.starts_with('/')) {
        continue;
      }
      if (port.accessible) {
        Report("access", port.port, CheckStatus::Ok, "this user may open it");
      } else {
        Report("access", port.port, CheckStatus::Warn, port.accessProblem,
               PermissionFix(port.group, setup_.installedRules));
      }
      if (port.latencyMs && *port.latencyMs != 1) {
        Report("latency", port.port, CheckStatus::Warn,
               std::to_string(*port.latencyMs) +
                   " ms, not 1 ms: every reply waits that long unless the open can lower it",
               LatencyFix(setup_.installedRules));
      } else if (port.latencyMs) {
        Report("latency", port.port, CheckStatus::Ok, "1 ms");
      }
    }
  }

  std::vector<SeenPod> PodsSeen() {
    std::vector<SeenPod> pods;
    for (PortDriver* driver : loaded_) {
      for (const PortDetails& port : driver->ListPorts()) {
        if (!IsPod(port.description)) {
          continue;
        }
        const std::string name = port.serialNumber.empty() ? port.port : port.serialNumber;
        auto pod = std::ranges::find(pods, name, &SeenPod::name);
        if (pod == pods.end()) {
          pods.push_back({name, port.serialNumber, {}});
          pod = pods.end() - 1;
        }
        pod->seenBy.emplace_back(driver, port);
      }
    }
    if (pods.empty()) {
      Report("pods", "", CheckStatus::Fail, "no POD seen",
             "plug the POD in and check its USB cable; brontaflex-cli list shows every FTDI "
             "device each backend sees");
    }
    for (const SeenPod& pod : pods) {
      std::string where;
      for (const auto& [driver, port] : pod.seenBy) {
        where += (where.empty() ? "seen by " : ", by ") + driver->Name() + " at " + port.port;
      }
      Report("pods", pod.name, CheckStatus::Ok, where);
    }
    return pods;
  }

  // Opens the POD through the first backend that can, pings it and asks it
  // for its firmware version, the line speed and the target's reset.
  void CheckPod(const SeenPod& pod) {
    std::string failure;
    std::string fix;
    for (const auto& [driver, port] : pod.seenBy) {
      PodLink link(*driver, clock_);
      link.LoadDriver();
      link.ChooseSerialNumber(pod.serialNumber);
      if (!link.Find()) {
        continue;
      }
      const OpenStatus opened = PodCommands::OpenPod(link);
      if (opened == OpenStatus::Ok) {
        CheckOpenPod(pod, *driver, link);
        return;
      }
      const std::string busy = driver->PortBusy();
      failure = driver->Name() + ": " + (!busy.empty() ? busy : CauseText(link.failure()));
      if (!busy.empty()) {
        fix = "close the program that holds it, then run doctor again";
      } else if (!port.accessible) {
        fix = PermissionFix(port.group, setup_.installedRules);
      } else if (opened == OpenStatus::NoAnswer) {
        fix =
            "the POD is there but does not answer: check that it is powered, then unplug it "
            "and plug it in again";
      } else {
        fix = "unplug the POD and plug it in again";
      }
    }
    Report("ping", pod.name, CheckStatus::Fail, failure, fix);
  }

  void CheckOpenPod(const SeenPod& pod, PortDriver& driver, PodLink& link) {
    const std::string backend = driver.Name();
    Report("ping", pod.name, CheckStatus::Ok, "answers through " + backend);
    if (link.latencyMs() != 1) {
      Report(
          "latency", pod.name, CheckStatus::Warn,
          std::to_string(link.latencyMs()) + " ms after the open (" + link.latencyProblem() + ")",
          LatencyFix(setup_.installedRules));
    }
    // The open fails when the port keeps another speed and can tell (tty).
    Report("speed", pod.name, CheckStatus::Ok,
           std::to_string(PodLink::kBaudRate) +
               (backend == "tty" ? " baud, read back from the port"
                                 : " baud set; " + backend + " cannot read it back"));
    PodCommands commands(link, {kDefaultMcuType, kErasedCsmKeys});
    if (commands.QueryVersion() && commands.podVersion() != 0) {
      Report("firmware", pod.name, CheckStatus::Ok,
             std::to_string(commands.podVersion() / 10) + "." +
                 std::to_string(commands.podVersion() % 10));
    } else {
      Report("firmware", pod.name, CheckStatus::Fail, CauseText(link.failure()),
             "the POD answers its ping but not its version: unplug it and plug it in again");
    }
    if (commands.ResetTarget()) {
      Report("target reset", pod.name, CheckStatus::Ok, "the target was reset");
    } else {
      Report("target reset", pod.name, CheckStatus::Fail, CauseText(link.failure()),
             "check the target board's power and the cable between the POD and the target");
    }
    link.Close();
  }

  DoctorSetup& setup_;
  Clock& clock_;
  const std::function<void(DoctorCheck)>& report_;
  std::vector<PortDriver*> loaded_;
  bool failed_ = false;
};

}  // namespace

bool RunDoctor(DoctorSetup& setup, Clock& clock, const std::function<void(DoctorCheck)>& report) {
  Doctor doctor(setup, clock, report);
  const bool passed = doctor.Run();
  for (const auto& backend : setup.backends) {
    backend->Unload();
  }
  return passed;
}

std::string_view CheckStatusName(CheckStatus status) {
  switch (status) {
    case CheckStatus::Ok:
      return "ok";
    case CheckStatus::Warn:
      return "warn";
    case CheckStatus::Fail:
      return "FAIL";
  }
  return "FAIL";
}
