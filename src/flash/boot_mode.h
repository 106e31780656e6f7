// The Secure Boot check that decides which burning tool every later step runs.
#pragma once

// Boot-mode results.
constexpr int BOOT_SECURE_OFF = 0;
constexpr int BOOT_SECURE_TOOLS_READY = 1;
constexpr int BOOT_SECURE_TOOLS_MISSING = 2;
constexpr int BOOT_CHECK_FAILED = 3;

// Runs the Secure Boot query and, with Secure Boot on, the service and tool checks.
// Stores the result in boot_value and returns it.
int get_boot_mode();
