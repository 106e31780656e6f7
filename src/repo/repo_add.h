// fwpak-repo add: copies images into nic_fw/ and adds their catalog entries, with
// the PSID and version the burning tool reads from each image.
#pragma once

#include <string>
#include <vector>

struct AddRequest {
    std::string name;                // -n: product name; empty: found (see repo_add)
    bool has_pci = false;            // --pci given
    unsigned pci[4] = {0, 0, 0, 0};  // vendor, device, subsystem vendor, subsystem device
    bool from_host = false;          // --from-host
    std::vector<std::string> images;
};

// Adds the images to the repository in the current directory. Refuses (status
// REPO_ERRORS, nothing written, a line on standard error) an image the tool cannot
// read, an image whose PSID no adapter of this host has (--from-host), an entry
// with the key and version of one already there, and a catalog that would have
// more errors afterwards than before. The catalog is rewritten through a temporary
// file and a rename; the text already there stays byte for byte. Without -n, the
// name of an entry already there for the same adapter is taken, else the PCI ID
// database's device name. Returns REPO_CLEAN when added.
int repo_add(const AddRequest& request);

// Reads "VEN:DEV:SUBVEN:SUBDEV" (1 to 4 hex digits each) into ids. Returns false
// for anything else.
bool parse_pci_ids(const char* text, unsigned ids[4]);
