// fwpak-export's JSON: string escaping, and the whole document of a report.
#include <string>

#include <gtest/gtest.h>

#include "export/json_output.h"

namespace {

TEST(JsonString, EscapesWhatJsonRequires) {
    const struct {
        std::string in;
        const char* out;
    } cases[] = {
        {"plain 0000:05:00.0", "\"plain 0000:05:00.0\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"l1\nl2\r\t", "\"l1\\nl2\\r\\t\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
        // Not UTF-8: a lone byte, a cut sequence, an overlong form, a surrogate.
        {"x\xff", "\"x\\ufffd\""},
        {"\xe2\x82", "\"\\ufffd\\ufffd\""},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
        {"", "\"\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(json_string(c.in), c.out);
    }
}

report_item Adapter(const std::string& installed, const std::string& running) {
    report_item a;
    a.address = "0000:af:00.0";
    a.psid = "VNX0000000223";
    a.product = "Vornex \"HDR\"";
    a.vendor_id = 0x15B3;
    a.device_id = 0x101B;
    a.subsystem_vendor_id = 0x15B3;
    a.subsystem_device_id = 0x7;
    a.installed = installed;
    a.running = running;
    a.available = "20.35.1012";
    a.action = "rewrite";
    return a;
}

TEST(JsonDocument, RunningVersionOnlyWhileAnImageWaits) {
    report_items r;
    r.mtime = 1767225600;
    r.adapters = {Adapter("20.35.1012", "20.34.1002"), Adapter("20.35.1012", "20.35.1012")};
    const std::string adapter_head =
        "    {\n"
        "      \"address\": \"0000:af:00.0\",\n"
        "      \"psid\": \"VNX0000000223\",\n"
        "      \"vendor_id\": \"15B3\",\n"
        "      \"device_id\": \"101B\",\n"
        "      \"subsystem_vendor_id\": \"15B3\",\n"
        "      \"subsystem_device_id\": \"0007\",\n"
        "      \"product_name\": \"Vornex \\\"HDR\\\"\",\n"
        "      \"installed_version\": \"20.35.1012\",\n";
    const std::string adapter_tail =
        "      \"available_version\": \"20.35.1012\",\n"
        "      \"action\": \"rewrite\"\n"
        "    }";
    EXPECT_EQ(json_document("/var/lib/fwpak/nicdiscovery.xml", r),
              "{\n"
              "  \"report\": \"/var/lib/fwpak/nicdiscovery.xml\",\n"
              "  \"report_time\": \"2026-01-01T00:00:00Z\",\n"
              "  \"report_timestamp_seconds\": 1767225600,\n"
              "  \"adapters\": [\n" +
                  adapter_head +
                  "      \"running_version\": \"20.34.1002\",\n"
                  "      \"activation_pending\": true,\n" +
                  adapter_tail + ",\n" + adapter_head + "      \"activation_pending\": false,\n" +
                  adapter_tail + "\n  ]\n}\n");
    r.adapters.clear();
    EXPECT_NE(json_document("r.xml", r).find("\"adapters\": []\n}\n"), std::string::npos);
}

}  // namespace
