// Asks the repository's burning tool what an image file holds:
// "./nic_fw/mstflint -i IMAGE q", the query the tool answers for image files as it
// does for devices.
#pragma once

#include <string>
#include <vector>

struct ImageFacts {
    bool ok = false;   // both PSID and FW Version were read
    std::string psid;  // cut exactly as fwpak cuts a device's query
    std::string version;
    std::string problem;  // when not ok: what the tool said (its first -E- line) or did
};

// Runs the query on `image` (a path as the tool is to see it) with the current
// directory as the repository directory. Never writes into the repository.
ImageFacts query_image(const std::string& image);

// The same query on every image, side by side (at most MAX_QUERIES_AT_ONCE at a
// time, as fwpak queries its adapters); the facts in the images' order.
std::vector<ImageFacts> query_images(const std::vector<std::string>& images);
