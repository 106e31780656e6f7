// The three values of a report fw_item computed from one adapter row: the
// repository's newest version, the installed version and the recommended action.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes into pAttribute (size bytes) the highest catalog version of row uIdx by
// numeric triple, "%u.%u.%u"; empty when the row has no catalog image.
void build_XML_FW_item_version(const char* pFwtype, char* pAttribute, size_t size, uint32_t uIdx);
// Writes the installed version of row IdxNic, "%u.%u.%u".
void build_XML_FW_item_active_version(const char* pFwtype, char* pAttribute, size_t size,
                                      int32_t IdxNic);
// Writes "upgrade", "rewrite", "downgrade" or "Nothing" (classify_firmware) for a
// ROM item of a row whose installed version is known; nothing for other item types
// or rows of unknown state. The row is left as it is.
void build_XML_FW_item_action(const char* pFwtype, char* pAttribute, size_t size, int32_t IdxNic);
// The design's builder: the same value, and the row marked for flashing on
// "upgrade" and "rewrite" (report_flashes).
void recommend_XML_FW_action(const char* pFwtype, char* pAttribute, size_t size, int32_t IdxNic);
