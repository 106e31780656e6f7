// fwpak-export's metrics in the Prometheus text exposition format, for
// node_exporter's textfile collector.
#pragma once

#include <string>
#include <vector>

#include "report/report_items.h"

// A label value as the exposition format wants it: backslash, double quote and
// newline escaped.
std::string label_value(const std::string& s);

// The metrics of a report that was read (report non-null), or of one that could
// not be (null): then only fwpak_discovery_success 0, so the host still shows.
// An adapter whose address and PSID repeat an earlier one's is left out (the
// collector refuses a whole file with a repeated series) and named in *skipped.
std::string prometheus_text(const report_items* report, std::vector<std::string>* skipped);

// The file the metrics go to: target itself, or target/fwpak.prom when it is a
// directory.
std::string prometheus_path(const std::string& target);

// Replaces path with text through a temporary file in its directory and a rename,
// so that the collector never reads half a file. Returns 0, or an errno value with
// *what naming the failed step.
int write_prometheus_file(const std::string& path, const std::string& text, std::string* what);
