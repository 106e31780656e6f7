// Lookups on the adapter hardware table: the first row of a key, an owned copy with
// its name decoded, and whether an adapter is known at all.
#include "common/nic_hw_db.h"

#include <cstdlib>
#include <cstring>

#include "common/common_utilities.h"
#include "common/encode_string.h"
#include "console.h"

int32_t get_nic_hw_info(const int32_t* pci_ven, const int32_t* pci_dev, const int32_t* pci_sub_ven,
                        const int32_t* pci_sub_dev, const nic_hw_db_t** ppdbs) {
    // Keys repeat in the table; the first row of a key is the one that counts.
    for (const nic_hw_db_t& row : nic_hw) {
        if (row.pci_ven == *pci_ven && row.pci_dev == *pci_dev && row.pci_sub_ven == *pci_sub_ven &&
            row.pci_sub_dev == *pci_sub_dev) {
            *ppdbs = &row;
            return 0;
        }
    }
    return 1;
}

int32_t get_db_struct_info(const int32_t* ppci_ven, const int32_t* ppci_dev,
                           const int32_t* ppci_sub_ven, const int32_t* ppci_sub_dev,
                           nic_hw_db_t** ppdbs) {
    const nic_hw_db_t* row = nullptr;
    if (get_nic_hw_info(ppci_ven, ppci_dev, ppci_sub_ven, ppci_sub_dev, &row) != 0) {
        *ppdbs = nullptr;
        return 1;
    }
    auto* copy =
        static_cast<nic_hw_db_t*>(common_malloc(sizeof(nic_hw_db_t), FWPAK_SOURCE, __LINE__));
    *copy = *row;
    const char** texts[] = {&copy->poem,       &copy->ppca_part_number, &copy->pspares_part_number,
                            &copy->pboard_rev, &copy->pport_type,       &copy->pbus_type};
    for (const char** text : texts) *text = common_strdup(*text, FWPAK_SOURCE, __LINE__);
    decode_inf_string(copy->inf_name, copy->inf_name_len);
    *ppdbs = copy;
    return 0;
}

void free_db_struct_info(nic_hw_db_t** ppdbs) {
    if (ppdbs == nullptr || *ppdbs == nullptr)
        return;
    nic_hw_db_t* copy = *ppdbs;
    const char** texts[] = {&copy->poem,       &copy->ppca_part_number, &copy->pspares_part_number,
                            &copy->pboard_rev, &copy->pport_type,       &copy->pbus_type};
    for (const char** text : texts) {
        free(const_cast<char*>(*text));
        *text = nullptr;
    }
    free(copy);
    *ppdbs = nullptr;
}

int32_t non_qx_nic(const int32_t* ppci_ven, const int32_t* ppci_dev, const int32_t* ppci_sub_ven,
                   const int32_t* ppci_sub_dev) {
    const nic_hw_db_t* row = nullptr;
    return get_nic_hw_info(ppci_ven, ppci_dev, ppci_sub_ven, ppci_sub_dev, &row) == 0 ? 0 : 1;
}
