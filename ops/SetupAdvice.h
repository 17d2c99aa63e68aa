// What a user does about a set-up that keeps the POD from working, or from
// working well: the fixes the command line names after a failure and that
// `doctor` names beside each check.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Where the package puts the udev rule (cmake --install puts it under its
// prefix instead), and where an administrator puts one by hand.
inline constexpr std::string_view kPackagedRule = "/usr/lib/udev/rules.d/60-brontaflex-pod.rules";
inline constexpr std::string_view kRuleFileName = "60-brontaflex-pod.rules";
// Makes udev read its rules again and apply them to what is plugged in.
inline constexpr std::string_view kReloadRules =
    "sudo udevadm control --reload && sudo udevadm trigger";

// The POD's udev rule files in the places udev reads them from, under `root`.
std::vector<std::string> InstalledRules(const std::string& root = "/");

// For a user who may not open the POD's device node, which belongs to `group`
// (empty when unknown), on a system with `installedRules` in place.
std::string PermissionFix(const std::string& group, const std::vector<std::string>& installedRules);

// For a latency timer that stays above 1 ms.
std::string LatencyFix(const std::vector<std::string>& installedRules);

// For the backend `backend` whose driver does not load; empty for one that
// needs nothing installed.
std::string MissingDriverFix(const std::string& backend);
