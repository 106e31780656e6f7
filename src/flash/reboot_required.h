// The host's "restart required" mark: after a verified burn the new firmware waits
// for a reboot, and the Debian and Ubuntu convention tells motd, unattended-upgrades,
// needrestart and monitoring so through /run/reboot-required.
#pragma once

constexpr char REBOOT_REQUIRED_FILE[] = "/run/reboot-required";
constexpr char REBOOT_REQUIRED_LINE[] = "*** System restart required ***";
constexpr char REBOOT_REQUIRED_PKGS_FILE[] = "/run/reboot-required.pkgs";
constexpr char REBOOT_REQUIRED_PKG[] = "fwpak";

// Marks the host as needing a restart, once per run: the line in
// /run/reboot-required and "fwpak" once in /run/reboot-required.pkgs. A file that
// cannot be written is a logged warning; the run goes on as it would.
void note_reboot_required();
