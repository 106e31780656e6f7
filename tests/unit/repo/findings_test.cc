// fwpak-repo's findings: the order they are printed in, the count line and the
// exit status they add up to.
#include "repo/findings.h"

#include <string>

#include <gtest/gtest.h>

#include "test_io.h"

namespace {

struct FindingsCase {
    std::vector<Finding> found;  // in the order found
    const char* printed;
    int status;
};

TEST(Findings, PrintedByFileInLineOrderWithTheirCountAndStatus) {
    const FindingsCase cases[] = {
        {{}, "0 errors, 0 warnings\n", REPO_CLEAN},
        {{{"nic_fw/a.bin", 0, Severity::warning, "w"}},
         "nic_fw/a.bin: warning: w\n0 errors, 1 warning\n",
         REPO_WARNINGS},
        // Files in the order of their first finding, each file's lines ascending,
        // a whole-file finding (line 0) first; equal lines keep the order found.
        {{{"catalog.xml", 9, Severity::error, "late"},
          {"nic_fw/b.bin", 0, Severity::warning, "image"},
          {"catalog.xml", 3, Severity::warning, "early"},
          {"catalog.xml", 0, Severity::error, "whole"},
          {"catalog.xml", 3, Severity::error, "early too"}},
         "catalog.xml: error: whole\n"
         "catalog.xml:3: warning: early\n"
         "catalog.xml:3: error: early too\n"
         "catalog.xml:9: error: late\n"
         "nic_fw/b.bin: warning: image\n"
         "3 errors, 2 warnings\n",
         REPO_ERRORS},
    };
    for (const FindingsCase& c : cases) {
        Findings findings;
        for (const Finding& f : c.found) findings.add(f.path, f.line, f.severity, f.text);
        StdoutCapture capture;
        findings.print(stdout);
        EXPECT_EQ(capture.Text(), c.printed);
        EXPECT_EQ(findings.status(), c.status);
    }
}

}  // namespace
