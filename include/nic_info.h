// The adapter table: one row per listed network device, the catalog entry record,
// and the process-wide buffers and counters that belong to the table.
#pragma once

#include <cstddef>
#include <cstdint>

// Bounds of the design. Every buffer below is sized by one of these and every
// writer into it checks the bound.
constexpr int MAX_NICS = 100;           // listed PCI functions (enumeration's lists)
constexpr int MAX_FW_IMAGES = 100;      // catalog images per adapter row
constexpr int VER_BUF_ROWS = 50;        // rows of a version list
constexpr int VER_BUF_LEN = 50;         // bytes of one version text
constexpr int MAX_REPORT_DEVICES = 50;  // devices of a replayed report (firmware_id)
constexpr int FIRMWARE_ID_LEN = 500;    // bytes of one replayed firmware_id
constexpr int BUS_INFO_LEN = 20;        // bytes of a rebuilt bus address
constexpr int ID_TEXT_LEN = 50;         // bytes of sub_ven_id_new, keys and queried values
// Bytes of a text from outside (a catalog attribute, a report value) that the
// table keeps, the terminator included. Longer texts are cut with a warning, so
// that memory stays proportional to the input, never to a multiple of it.
constexpr size_t MAX_OUTSIDE_TEXT = 4096;

// Bits of nic_info::flags.
constexpr int32_t NIC_STATE_KNOWN = 0x1;  // installed version and PSID were read
constexpr int32_t NIC_FLASH = 0x2;        // flash this row

enum link_status_t {
    link_unknown = 0,
    link_up = 1,
    link_down = 2,
    link_failed = 3,
    link_degraded = 4,
};

// Driver and firmware facts of one interface; the inventory build uses it as a carrier.
struct ethtool_info {
    char* pdriver_name;
    char* pdriver_version;
    char* pfirmware_version;
    char* pbus_info;
    link_status_t link_status;
};

// One adapter port. Texts are separately allocated copies owned by the row; a field
// nothing filled is null (rows are allocated zero-filled).
struct nic_info {
    char* pinterfacename;
    char* pdrivername;
    char* pdriver_ver;
    char* pfirmware_ver;
    char* pbus_info;
    int32_t ven_id;
    int32_t dev_id;
    int32_t sub_ven_id;
    int32_t sub_dev_id;
    char* busnumber;
    char* devicenumber;
    char* funcnumber;
    char* pip_addr;
    char* pnetmask;
    char* pbroadcast;
    char* pcurrent_mac;
    uint32_t uCurROMmaj;
    uint32_t uCurROMmin;
    uint32_t uCurROMrel;
    uint32_t uFwROMmaj[MAX_FW_IMAGES];
    uint32_t uFwROMmin[MAX_FW_IMAGES];
    uint32_t uFwROMrel[MAX_FW_IMAGES];
    char* pxmlName[MAX_FW_IMAGES];
    char* pxmlFwImage[MAX_FW_IMAGES];
    char* pFwPath;
    char* pPort;
    int32_t flags;
    int32_t fw_count;
    char* psid;
    // The flash's Base GUID from the query (empty or null when not known): rows
    // with the same one and the same PSID are one flash, never burnt at one time.
    char* pbase_guid;
    // The query's "FW Version(Running):" value: the firmware the adapter runs when
    // it is not the flash's (a burnt image that no reboot or reset has loaded yet);
    // null when the query has no such line.
    char* prunning_ver;
};

// One matching catalog entry.
struct XMLFW_INFO {
    char* pxmlName;
    char* pxmlVenId;
    char* pxmlDevId;
    char* pxmlSubVenId;
    char* pxmlSubDevId;
    char* pxmlRom;
    char* pxmlFwImage;
    char* pxmlPSID;
};

extern nic_info* g_ninfo;
extern int32_t g_nNics;
extern int32_t g_nMellanoxPorts;
// Physical network devices that the last enumeration found past the table's
// MAX_NICS rows and left out; modes that act on every adapter fail for them.
extern int32_t g_nLeftOut;
extern int32_t nic_count;
extern int32_t* fw_number;
extern char ver_buf[VER_BUF_ROWS][VER_BUF_LEN];
extern char firmware_id[MAX_REPORT_DEVICES][FIRMWARE_ID_LEN];
extern char sub_ven_id_new[ID_TEXT_LEN];
extern char sub_dev_id_new[ID_TEXT_LEN];
extern char bus_info[BUS_INFO_LEN];
extern int32_t class_code[4];

extern const char g_XMLFwFile[];
extern const char g_XMLNicName[];
extern const char g_XMLVenId[];
extern const char g_XMLDevId[];
extern const char g_XMLSubVenId[];
extern const char g_XMLSubDevId[];
extern const char g_XMLFwImage[];
extern const char g_XMLrom[];
extern const char g_XMLPSID[];

// How much of a text of `len` bytes the table keeps: all of it below
// MAX_OUTSIDE_TEXT bytes, else the longest start of at most MAX_OUTSIDE_TEXT-1
// bytes that does not end inside a UTF-8 character.
size_t kept_length(const char* text, size_t len);

// True when the row's adapter runs other firmware than its flash holds: a burnt
// image waits for a reboot or a reset of the adapter to be loaded.
bool waits_for_activation(const nic_info& row);

// A separately allocated copy of text, or null for null. Ends the process with the
// design's fatal line when memory runs out.
char* dup_text(const char* text);
