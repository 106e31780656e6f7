// Helpers of the inventory unit tests: test data, and the shared scratch directory
// (tests/support/scoped_temp_dir.h).
#pragma once

#include "file_text.h"
#include "scoped_temp_dir.h"
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

inline std::string ReadTestData(const std::string& rel) {
    return ReadFileText(std::string(FWPAK_TEST_DATA) + "/" + rel);
}
