// The platform layer for the kernel's network-interface requests.
#include "platform/net_interface.h"

#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

int open_interface_socket() {
    return socket(AF_INET, SOCK_RAW, 255);
}

int interface_request(int fd, unsigned long request, ifreq* req) {
    return ioctl(fd, request, req);
}
