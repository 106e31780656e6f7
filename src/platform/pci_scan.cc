// The PCI bus through libpci: the scan (access method and ID database as libpci
// chooses them, so that umockdev's simulated sysfs serves the tests) and the name
// lookups.
#include "platform/pci_scan.h"

#include <memory>

extern "C" {
#include <pci/pci.h>
}

#include "platform/platform.h"
#include "platform/system_ops.h"

namespace {

// Bytes libpci may write for one name.
constexpr int kNameLookupLen = 1024;
constexpr int kFillFlags = PCI_FILL_IDENT | PCI_FILL_BASES | PCI_FILL_CLASS;

struct PciAccessCleanup {
    void operator()(pci_access* a) const { pci_cleanup(a); }
};
using PciAccess = std::unique_ptr<pci_access, PciAccessCleanup>;

PciAccess open_access() {
    PciAccess pacc(pci_alloc());
    pci_init(pacc.get());
    return pacc;
}

}  // namespace

std::vector<PciFunction> system_list_pci_functions() {
    PciAccess pacc = open_access();
    pci_scan_bus(pacc.get());
    std::vector<PciFunction> found;
    for (pci_dev* d = pacc->devices; d != nullptr; d = d->next) {
        pci_fill_info(d, kFillFlags);
        PciFunction f;
        f.domain = d->domain;
        f.bus = d->bus;
        f.dev = d->dev;
        f.func = d->func;
        f.vendor_id = d->vendor_id;
        f.device_id = d->device_id;
        f.device_class = d->device_class;
        char name[kNameLookupLen] = {0};
        const char* looked_up = pci_lookup_name(pacc.get(), name, sizeof name, PCI_LOOKUP_VENDOR,
                                                d->vendor_id, d->device_id);
        f.vendor_name = looked_up != nullptr ? looked_up : "";
        found.push_back(std::move(f));
    }
    return found;
}

std::vector<PciFunction> list_pci_functions() {
    return platform().list_pci_functions();
}

std::string pci_device_name(unsigned vendor, unsigned device) {
    PciAccess pacc = open_access();
    char name[kNameLookupLen] = {0};
    // PCI_LOOKUP_NO_NUMBERS: no database entry gives null, not a made-up number.
    const char* found =
        pci_lookup_name(pacc.get(), name, sizeof name, PCI_LOOKUP_DEVICE | PCI_LOOKUP_NO_NUMBERS,
                        static_cast<int>(vendor), static_cast<int>(device));
    return found != nullptr ? found : "";
}
