// The shutdown inhibitor through libsystemd's sd-bus.
#include "platform/shutdown_inhibitor.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <systemd/sd-bus.h>

#include "platform/platform.h"
#include "platform/system_ops.h"

namespace {

// The system bus's socket, where sd-bus and every other client look for it. It is
// named here rather than taken from the environment, as the program's other paths.
constexpr char kSystemBus[] = "unix:path=/run/dbus/system_bus_socket";
// A logind that does not answer must not hold up the burns for sd-bus's 25 s.
constexpr uint64_t kCallTimeoutUsec = uint64_t{5} * 1000 * 1000;

struct BusUnref {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
struct ErrorFree {
    void operator()(sd_bus_error* e) const { sd_bus_error_free(e); }
};

std::string errno_text(const char* what, int negative_errno) {
    return std::string(what) + " (" + strerror(-negative_errno) + ")";
}

// The system bus, or null with `failure` filled.
std::unique_ptr<sd_bus, BusUnref> open_system_bus(std::string* failure) {
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    std::unique_ptr<sd_bus, BusUnref> bus(raw);
    if (r >= 0)
        r = sd_bus_set_address(bus.get(), kSystemBus);
    if (r >= 0)
        r = sd_bus_set_bus_client(bus.get(), 1);
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUsec);
    if (r >= 0)
        r = sd_bus_start(bus.get());
    if (r < 0) {
        *failure = errno_text("no system bus at /run/dbus/system_bus_socket", r);
        bus.reset();
    }
    return bus;
}

}  // namespace

int system_inhibit_shutdown(const char* why, std::string* failure) {
    std::unique_ptr<sd_bus, BusUnref> bus = open_system_bus(failure);
    if (bus == nullptr)
        return -1;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    std::unique_ptr<sd_bus_error, ErrorFree> error_owner(&error);
    sd_bus_message* raw = nullptr;
    int r = sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "Inhibit", &error, &raw, "ssss",
                               "shutdown:sleep", "fwpak", why, "block");
    std::unique_ptr<sd_bus_message, MessageUnref> reply(raw);
    if (r < 0) {
        *failure = std::string("logind did not grant the inhibitor: ") +
                   (error.name != nullptr ? error.name : "") + ": " +
                   (error.message != nullptr ? error.message : strerror(-r));
        return -1;
    }
    int fd = -1;
    r = sd_bus_message_read(reply.get(), "h", &fd);
    if (r < 0) {
        *failure = errno_text("logind's answer held no descriptor", r);
        return -1;
    }
    // The message owns the descriptor it carries: ours is a copy that outlives it.
    int owned = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (owned < 0)
        *failure = errno_text("the inhibitor's descriptor could not be kept", -errno);
    return owned;
}

int inhibit_shutdown(const char* why, std::string* failure) {
    return platform().inhibit_shutdown(why, failure);
}
