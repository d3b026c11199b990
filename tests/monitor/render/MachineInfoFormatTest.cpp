// svcproc_machine_info and the JSON's machine object: SMBIOS bytes made
// UTF-8, label values escaped, nothing said before SMBIOS was read.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "render/Formats.h"
#include "support/PrometheusText.h"

namespace {

TEST(MachineInfoFormat, SmbiosBytesBecomeUtf8) {
    EXPECT_EQ(SmbiosText("85.12.07"), "85.12.07");
    EXPECT_EQ(SmbiosText("R\xC3\xA9v 1"), "R\xC3\xA9v 1") << "already UTF-8";
    EXPECT_EQ(SmbiosText("R\xE9v 1"), "R\xEF\xBF\xBDv 1") << "Latin-1";
    EXPECT_EQ(SmbiosText("\xE0\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "overlong";
    EXPECT_EQ(SmbiosText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "surrogate";
    EXPECT_EQ(SmbiosText("\xF4\x90\x80\x80").size(), 12u) << "past U+10FFFF";
    EXPECT_EQ(SmbiosText("\xC3"), "\xEF\xBF\xBD") << "cut short";
}

TEST(MachineInfoFormat, PrometheusAndJson) {
    Snapshot snapshot;
    snapshot.startup = ServiceCode_SmbiosInventoryFailed;
    EXPECT_EQ(RenderPrometheus(snapshot).find("svcproc_machine_info"), std::string::npos);
    EXPECT_TRUE(nlohmann::json::parse(RenderJson(snapshot))["machine"].is_null());

    snapshot.machine = MachineSnapshot{"86.01 \"beta\"\\\n", ""};
    const std::string metrics = RenderPrometheus(snapshot);
    EXPECT_NE(metrics.find("\nsvcproc_machine_info{bios_version=\"86.01 \\\"beta\\\"\\\\\\n\","
                           "service_processor=\"\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_EQ(PromtoolProblems(metrics), "");
    EXPECT_EQ(PrometheusSamples(metrics).count(
                  "svcproc_machine_info{bios_version=\"86.01 \\\"beta\\\"\\\\\\n\","
                  "service_processor=\"\"}"),
              1u);
    const nlohmann::json machine = nlohmann::json::parse(RenderJson(snapshot))["machine"];
    EXPECT_EQ(machine["biosVersion"], "86.01 \"beta\"\\\n");
    EXPECT_EQ(machine["serviceProcessor"], "");
}

}  // namespace
