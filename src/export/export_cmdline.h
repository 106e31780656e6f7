// fwpak-export's command line: the two outputs, the usage text and the exit status.
#pragma once

// Exit statuses.
constexpr int EXPORT_WRITTEN = 0;        // the report was read and the output written
constexpr int EXPORT_REPORT_UNREAD = 1;  // the report is missing or unreadable
constexpr int EXPORT_ERROR = 2;          // a usage error, or the output cannot be written

// The whole program: parses argv, reads the report, writes JSON or metrics.
int fwpak_export_main(int argc, char** argv);
