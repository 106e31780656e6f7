// The discovery report writer (-d): one device element per Mellanox port whose
// installed version is known, written with libxml2's text writer into an
// in-memory document that is saved whole at the end.
#pragma once

#include <cstdint>
#include <string>

#include "console.h"
#include "report/xml_handles.h"

// The mode's entry point. 0 when the report was written; 2 when the inventory
// build failed (no Mellanox port, or none with a version and a PSID) or the report
// could not be built or saved; or the status of a fault that ends the run, left in
// *fault.
int discover_HW(RunFault* fault);

// Builds the report of the adapter table and saves it to g_XMLDiscoveryReport.
// 0 on success; 2 (the error logged) when the writer cannot be created, the
// document cannot be completed or the save fails. The target is then untouched.
int xml_discovery_report();

// Creates the writer and its document, and writes the declaration, the root, the
// four header elements and the start of devices (left open). -1 when the writer
// cannot be created or a write fails.
int write_XML_start_elements(XmlTextWriterOwner* writer, XmlDocOwner* doc);
// Writes the complete device element of row IdxNic. -1 when a write fails.
int write_XML_device_elements(xmlTextWriterPtr writer, int32_t IdxNic);
// Writes the fw_item elements of row IdxNic. -1 when a write fails.
int write_XML_FW_item(xmlTextWriterPtr writer, int32_t IdxNic);

// The three bus-position values cut from a port's PCI address.
struct bus_position {
    std::string busnumber;     // domain:bus
    std::string devicenumber;  // device
    std::string funcnumber;    // function
};
bus_position split_bus_position(const char* pbus_info);

// Saves doc in UTF-8 to path through a temporary file in path's directory that is
// renamed over path, so path is either left as it was or holds the whole report.
// 0 on success; -1 (the error logged) otherwise.
int save_report_document(xmlDocPtr doc, const char* path);
