// The adapter hardware database: a compiled-in table of known network adapters,
// keyed by the four PCI identifiers, and the lookups on it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int NIC_HW_ROWS = 111;
constexpr int INF_NAME_SIZE = 60;  // inf_name bytes: up to 59 name bytes and a terminator

// One adapter model. In the table the six texts are constants; in a copy made by
// get_db_struct_info they are separately allocated and owned by the copy.
struct nic_hw_db_t {
    int32_t pci_ven;
    int32_t pci_dev;
    int32_t pci_sub_ven;
    int32_t pci_sub_dev;
    const char* poem;                 // OEM code, at most 3 characters
    const char* ppca_part_number;     // circuit-board part number, at most 13
    const char* pspares_part_number;  // spare part number, at most 11
    const char* pboard_rev;           // board revision, at most 2
    const char* pport_type;           // port type code, at most 4, may be empty
    const char* pbus_type;            // bus type, at most 10
    int32_t inf_name_len;             // 0 to 59
    char inf_name[INF_NAME_SIZE];     // name, encoded with encode_table
};

extern const nic_hw_db_t nic_hw[NIC_HW_ROWS];

// Points *ppdbs at the first table row with all four identifiers equal (no copy)
// and returns 0; returns 1 and leaves *ppdbs alone when there is none.
int32_t get_nic_hw_info(const int32_t* pci_ven, const int32_t* pci_dev, const int32_t* pci_sub_ven,
                        const int32_t* pci_sub_dev, const nic_hw_db_t** ppdbs);
// Returns 0 with *ppdbs set to an allocated copy of the matching row, its name
// decoded; 1 with *ppdbs null when the adapter is not in the table.
int32_t get_db_struct_info(const int32_t* ppci_ven, const int32_t* ppci_dev,
                           const int32_t* ppci_sub_ven, const int32_t* ppci_sub_dev,
                           nic_hw_db_t** ppdbs);
// Releases a copy made by get_db_struct_info and sets *ppdbs to null; a null
// pointer or an unset copy is ignored.
void free_db_struct_info(nic_hw_db_t** ppdbs);
// 1 when the adapter is not in the table, 0 when it is.
int32_t non_qx_nic(const int32_t* ppci_ven, const int32_t* ppci_dev, const int32_t* ppci_sub_ven,
                   const int32_t* ppci_sub_dev);

// Compile-time check of the table: every text present and within its bound, every
// name length within the name buffer.
constexpr bool text_within(const char* text, size_t limit) {
    if (text == nullptr)
        return false;
    size_t n = 0;
    while (text[n] != '\0') n++;
    return n <= limit;
}

constexpr bool nic_hw_rows_within_bounds(const nic_hw_db_t* rows, int count) {
    for (int i = 0; i < count; i++) {
        const nic_hw_db_t& r = rows[i];
        if (!text_within(r.poem, 3) || !text_within(r.ppca_part_number, 13) ||
            !text_within(r.pspares_part_number, 11) || !text_within(r.pboard_rev, 2) ||
            !text_within(r.pport_type, 4) || !text_within(r.pbus_type, 10))
            return false;
        if (r.inf_name_len < 0 || r.inf_name_len >= INF_NAME_SIZE)
            return false;
    }
    return true;
}
