// The platform layer for the kernel's network-interface requests (SIOCGIF*).
#pragma once

#include <net/if.h>

// Opens the raw socket that interface requests are sent on; -1 with errno set.
int open_interface_socket();

// Sends one interface request on the socket. Returns 0, or -1 with errno set.
int interface_request(int fd, unsigned long request, ifreq* req);
