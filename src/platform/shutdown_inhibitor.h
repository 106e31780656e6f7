// The platform layer for systemd-logind's shutdown inhibitor: while the program
// holds the descriptor logind hands out, a shutdown, reboot or suspend that someone
// else starts waits (a "block" inhibitor), so that no flash is cut off half-written.
#pragma once

#include <string>

// Asks logind, over the system bus at its constant socket, for a "block" inhibitor
// of "shutdown:sleep" by "fwpak", with `why` as the reason it shows. Returns the
// descriptor (close-on-exec: the tools need not hold it; closing it releases the
// inhibitor), or -1 with `failure` saying why (no system bus, no logind, refused).
int inhibit_shutdown(const char* why, std::string* failure);
