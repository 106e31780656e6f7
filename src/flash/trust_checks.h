// Whether fwpak may trust its package directory: strict modes (nothing it runs or
// reads as root may be writable by other users) and the checksum manifest
// nic_fw/SHA256SUMS (images and the burning tool as fwpak-repo sealed them).
#pragma once

#include <string>

// The start-up check, after the boot-mode check (boot_mode_value set) and before
// any program of the package directory runs. As root: the package directory,
// nic_fw/, nic_fw/mstflint, getmlnxinfo, the catalog and the manifest must pass
// strict modes (under Secure Boot nic_fw/ and nic_fw/mstflint are not used as
// tools and are left out); an owner other than root is logged as a warning. With
// a manifest: it must read without a fault, and (Secure Boot off) must list the
// burning tool with its digest. Without one, the event log says so once. Returns
// false when the run must end with status 1; each reason is then on standard
// error and in the event log. Sets what image_refusal checks.
bool check_repository_trust();

// Why image nic_fw/`file` must not be burnt into `bus`, as a log text, or "" when
// it may: writable by others (as root), or, with a manifest, missing from it,
// unreadable or with another digest. An image whose owner is not root is burnt,
// with a warning in the event log.
std::string image_refusal(const char* file, const std::string& bus);

// What image_refusal checks, as check_repository_trust leaves it: `strict` the
// strict modes, `verify` the digest against the manifest read now from
// nic_fw/SHA256SUMS (when there is one).
void set_image_checks(bool strict, bool verify);
