#include "job/job_event.hpp"

#include <gtest/gtest.h>

#include "job/job_error.hpp"
#include "pvo-status/status_json.hpp"

namespace parvello {
namespace {

TEST(JobEventSerialize, EachKindTypeFirstCompact) {
    struct Case {
        JobEvent event;
        std::string_view json;
    };
    const Case cases[] = {
        {{JobEvent::Progress{"starting_label", 0, 2, 0, 2}},
         R"({"type":"progress","phase":"starting_label","batch_index":0,"batch_total":2,"label_index":0,"label_total":2})"},
        {{JobEvent::Progress{"sending", 4294967295u, 1, 2, 3}},
         R"({"type":"progress","phase":"sending","batch_index":4294967295,"batch_total":1,"label_index":2,"label_total":3})"},
        {{JobEvent::LabelDone{1, 2}}, R"({"type":"label_done","index":1,"total":2})"},
        {{JobEvent::Done{2, 2}}, R"({"type":"done","completed":2,"total":2})"},
        {{JobEvent::Error{"paper \"out\"\n\\"}}, R"({"type":"error","message":"paper \"out\"\n\\"})"},
        {{JobEvent::Error{"caf\xc3\xa9"}}, "{\"type\":\"error\",\"message\":\"caf\xc3\xa9\"}"},
        // A message with bytes that are not UTF-8 is still written, never refused.
        {{JobEvent::Error{"bad \xff"}}, "{\"type\":\"error\",\"message\":\"bad \xef\xbf\xbd\"}"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.event.serialize(), c.json);
}

TEST(JobEventSerialize, StatusEmbedsTheReportWithSortedKeys) {
    const pvo_status::Dymo dymo{0x48, true, false, true};
    const std::string json = JobEvent{JobEvent::Status{dymo}}.serialize();
    EXPECT_EQ(json, R"({"type":"status","status":{"cassette_inserted":true,"cutter_jammed":false,)"
                    R"("general_error":true,"protocol":"dymo","raw":72}})");

    // Nested objects of a report keep their sorted order too.
    pvo_status::Gpgl gpgl;
    gpgl.readiness = pvo_status::Readiness::not_ready("busy");
    EXPECT_EQ(JobEvent{JobEvent::Status{gpgl}}.serialize(),
              R"({"type":"status","status":)" + pvo_status::to_json_text(gpgl) + "}");
    EXPECT_NE(pvo_status::to_json_text(gpgl).find(R"({"ready_to_print":false,"reason":"busy"})"), std::string::npos);
}

TEST(JobErrorText, EachKind) {
    struct Case {
        JobError error;
        std::string_view text;
    };
    const Case cases[] = {
        {JobError::no_labels(), "job has no labels"},
        {JobError::invalid_base64(1, "Invalid padding"), "label 1: invalid base64: Invalid padding"},
        {JobError::invalid_base64(12, "Invalid symbol 33, offset 2."),
         "label 12: invalid base64: Invalid symbol 33, offset 2."},
        {JobError::unknown_handshake(" Dymo-LW "), "unknown handshake id:  Dymo-LW "},
        {JobError::unknown_handshake(""), "unknown handshake id: "},
        {JobError::browser_unsupported(), "browser transport is not supported by parvello; use usb/serial/network/ble"},
        {JobError::delivery("empty label payload"), "delivery: empty label payload"},
        {JobError::transport("device not found: usb 0922:0028"), "transport: device not found: usb 0922:0028"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.to_string(), c.text);
}

}  // namespace
}  // namespace parvello
