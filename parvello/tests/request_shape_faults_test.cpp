// Well-formed JSON that does not fit the record: the exact texts clients see, with the path
// of the value at fault (HTTP bodies) and the position where the reader stood.
#include "parvello/request.hpp"

#include "request_test_support.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace parvello;
using request_test::Case;
using request_test::http;
using request_test::outcome;
using request_test::websocket;

namespace {

// A job whose labels list starts at column 66.
const std::string kJobBeforeLabels = R"({"protocol":"p","handshake":"h","transport":["ble","n"],"labels":)";

}  // namespace

TEST(RequestShapeFaults, JobEnvelopeAndLabels) {
    const std::string& p = kJobBeforeLabels;
    const Case cases[] = {
        // Missing fields: the first in declaration order, at the closing brace.
        {R"({"handshake":"x"})", "422 missing field `protocol` at line 1 column 17"},
        {R"({"protocol":"p","transport":{"type":"ble","name":"n"}})",
         "422 missing field `handshake` at line 1 column 54"},
        {R"({"protocol":"p","handshake":"h","labels":[]})", "422 missing field `transport` at line 1 column 44"},
        {p + R"([{"data_base64":""},{"data_base64":""},{"index":1}]})",
         "422 labels[2]: missing field `data_base64` at line 1 column 115"},
        // A key given twice fails at once, whatever the values are.
        {R"({"protocol":"p","handshake":"a","handshake":5})", "422 duplicate field `handshake` at line 1 column 43"},
        {p + R"([],"transport":1})", "422 duplicate field `transport` at line 1 column 79"},
        // Null: none for optional fields, a type error for required and defaulted ones.
        {R"({"protocol":null})", "422 protocol: invalid type: null, expected a string at line 1 column 16"},
        {p + R"([{"index":null}]})", "422 labels[0].index: invalid type: null, expected u32 at line 1 column 79"},
        {p + R"([{"data_base64":null}]})",
         "422 labels[0].data_base64: invalid type: null, expected a string at line 1 column 85"},
        {p + "null}", "422 labels: invalid type: null, expected a sequence at line 1 column 69"},
        // Wrong types and ranges.
        {R"({"driver_variant":5})",
         "422 driver_variant: invalid type: integer `5`, expected a string at line 1 column 19"},
        {p + R"([{"index":"1","data_base64":""}]})",
         "422 labels[0].index: invalid type: string \"1\", expected u32 at line 1 column 78"},
        {p + R"([{"index":4294967296,"data_base64":""}]})",
         "422 labels[0].index: invalid value: integer `4294967296`, expected u32 at line 1 column 85"},
        {p + R"([{"size":-1}]})", "422 labels[0].size: invalid value: integer `-1`, expected u64 at line 1 column 76"},
        {p + R"([{"size":18446744073709551616}]})",
         "422 labels[0].size: invalid type: floating point `1.8446744073709552e19`, expected u64 at line 1 column 94"},
        {p + "{}}", "422 labels: invalid type: map, expected a sequence at line 1 column 65"},
        {p + "[5]}", "422 labels[0]: invalid type: integer `5`, expected struct JobLabel at line 1 column 67"},
        {R"("x")", "422 invalid type: string \"x\", expected struct JobEnvelope at line 1 column 3"},
        {"5", "422 invalid type: integer `5`, expected struct JobEnvelope at line 1 column 1"},
        // Array forms: too short is a shape fault, too long is trailing text.
        {R"(["dymo","dymo_lw"])",
         "422 invalid length 2, expected struct JobEnvelope with 5 elements at line 1 column 18"},
        {R"(["p","h",null,["ble","n"],[],1])", "400 trailing characters at line 1 column 30"},
        {R"(["p","h",null,["ble","n"],[],])", "400 trailing comma at line 1 column 30"},
        {p + "[[7]]}", "422 labels[0]: invalid length 1, expected struct JobLabel with 4 elements at line 1 column 69"},
        {p + R"([[0,null,null,"AA==",1]]})", "400 labels[0]: trailing characters at line 1 column 87"},
        {p + R"([[null,null,null,"AA=="]]})", "422 labels[0][0]: invalid type: null, expected u32 at line 1 column 71"},
        {p + R"([{"data_base64":""},]})", "400 labels[1]: trailing comma at line 1 column 86"},
    };
    for (const Case& c : cases) EXPECT_EQ(http(c.json), c.expected) << c.json;
}

TEST(RequestShapeFaults, Transport) {
    // The transport value starts at column 31.
    const auto read = [](const std::string& transport) {
        return outcome(
            read_status_query_request(R"({"protocol":"zpl","transport":)" + transport + "}", ReadMode::HttpBody));
    };
    const std::string variants = "expected one of `usb`, `network`, `serial`, `ble`, `browser`";
    const Case cases[] = {
        // The tag: checked where it stands, before the rest of the object is read.
        {R"({"type":"USB","vendor_id":2338,"product_id":40})",
         "422 transport.type: unknown variant `USB`, " + variants + " at line 1 column 43"},
        {R"({"type":"x","vendor_id":1,,})",
         "422 transport.type: unknown variant `x`, " + variants + " at line 1 column 41"},
        {R"({"type":"us\u0062x"})", "422 transport.type: unknown variant `usbx`, " + variants + " at line 1 column 49"},
        {R"({"type":5})",
         "422 transport.type: invalid type: integer `5`, expected variant identifier at line 1 column 39"},
        {R"({"type":null})", "422 transport.type: invalid type: null, expected variant identifier at line 1 column 42"},
        {R"({"type":["usb"]})",
         "422 transport.type: invalid type: sequence, expected variant identifier at line 1 column 38"},
        {R"({"vendor_id":1})", "422 transport: missing field `type` at line 1 column 45"},
        {R"({"type":"usb","type":"usb"})", "422 transport: duplicate field `type` at line 1 column 50"},
        // The variant's fields: read after the object, so placed at its closing brace.
        {R"({"type":"usb","product_id":40})", "422 transport: missing field `vendor_id` at line 1 column 60"},
        {R"({"type":"usb","vendor_id":"x"})",
         "422 transport: invalid type: string \"x\", expected u16 at line 1 column 60"},
        {R"({"type":"usb","vendor_id":70000,"product_id":1})",
         "422 transport: invalid value: integer `70000`, expected u16 at line 1 column 77"},
        {R"({"type":"usb","vendor_id":-1,"product_id":1})",
         "422 transport: invalid value: integer `-1`, expected u16 at line 1 column 74"},
        {R"({"type":"usb","vendor_id":"0x0922","product_id":1})",
         "422 transport: invalid type: string \"0x0922\", expected u16 at line 1 column 80"},
        {R"({"type":"usb","vendor_id":1.0,"product_id":1})",
         "422 transport: invalid type: floating point `1.0`, expected u16 at line 1 column 75"},
        {R"({"type":"usb","vendor_id":{},"product_id":1})",
         "422 transport: invalid type: map, expected u16 at line 1 column 74"},
        {R"({"type":"serial","path":"COM3","baud":null})",
         "422 transport: invalid type: null, expected u32 at line 1 column 73"},
        {R"({"type":"serial","path":"COM3","baud":4294967296})",
         "422 transport: invalid value: integer `4294967296`, expected u32 at line 1 column 79"},
        {R"({"type":"network","host":"h","port":9100,"port":9100})",
         "422 transport: duplicate field `port` at line 1 column 83"},
        {R"({"type":"network","host":null,"port":1})",
         "422 transport: invalid type: null, expected a string at line 1 column 69"},
        // Text faults inside the object come first, since the fields are read after it.
        {R"({"type":"usb","vendor_id":"a","product_id":1,})", "400 transport: trailing comma at line 1 column 76"},
        {R"({"x":tru,"type":"usb"})", "400 transport.x: expected ident at line 1 column 39"},
        {R"({"type":"usb","vendor_id":1,"product_id":2,"interface":[1,}})",
         "400 transport.interface: expected value at line 1 column 89"},
        // Array forms.
        {"[]", "422 transport: missing field `type` at line 1 column 32"},
        {R"(["USB",1,2])", "422 transport[0]: unknown variant `USB`, " + variants + " at line 1 column 36"},
        {"[1,2,3]", "422 transport[0]: invalid type: integer `1`, expected variant identifier at line 1 column 32"},
        {R"(["usb",1])",
         "422 transport: invalid length 1, expected struct variant Transport::Usb with 3 elements at line 1 column 39"},
        {R"(["serial"])",
         "422 transport: invalid length 0, expected struct variant Transport::Serial with 2 elements at line 1 column "
         "40"},
        {R"(["usb",1,2,"s","x"])",
         "422 transport: invalid length 4, expected 3 elements in sequence at line 1 column 49"},
        {R"(["ble","a","b"])", "422 transport: invalid length 2, expected 1 element in sequence at line 1 column 45"},
        {R"(["network","h",9100,])", "400 transport[3]: trailing comma at line 1 column 51"},
        // Neither an object nor an array.
        {R"("usb")",
         "422 transport: invalid type: string \"usb\", expected internally tagged enum Transport at line 1 column 35"},
        {"null", "422 transport: invalid type: null, expected internally tagged enum Transport at line 1 column 34"},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.json), c.expected) << c.json;
}

TEST(RequestShapeFaults, StatusQueryAndSoftRebootNameTheirRecord) {
    EXPECT_EQ(outcome(read_status_query_request(R"({"protocol":"zpl"})", ReadMode::HttpBody)),
              "422 missing field `transport` at line 1 column 18");
    EXPECT_EQ(outcome(read_status_query_request("true", ReadMode::HttpBody)),
              "422 invalid type: boolean `true`, expected struct StatusQueryRequest at line 1 column 4");
    EXPECT_EQ(outcome(read_soft_reboot_request(R"(["zpl"])", ReadMode::HttpBody)),
              "422 invalid length 1, expected struct SoftRebootRequest with 2 elements at line 1 column 7");
    EXPECT_EQ(outcome(read_soft_reboot_request(R"({"protocol":"zpl","transport":{}})", ReadMode::HttpBody)),
              "422 transport: missing field `type` at line 1 column 32");
}

TEST(RequestShapeFaults, WebSocketMessagesCarryNoPath) {
    const Case cases[] = {
        {kJobBeforeLabels + R"([{"data_base64":""},{"data_base64":""},{"index":1}]})",
         "422 missing field `data_base64` at line 1 column 115"},
        {R"({"protocol":"p","handshake":"h","transport":{"type":"USB"}})",
         "422 unknown variant `USB`, expected one of `usb`, `network`, `serial`, `ble`, "
         "`browser` at line 1 column 57"},
        {R"({"protocol":"p","handshake":"h","transport":["usb",70000,1]})",
         "422 invalid value: integer `70000`, expected u16 at line 1 column 59"},
        {R"({"protocol":"a\q"})", "400 invalid escape at line 1 column 16"},
        {R"({"protocol":"p"})", "422 missing field `handshake` at line 1 column 16"},
    };
    for (const Case& c : cases) EXPECT_EQ(websocket(c.json), c.expected) << c.json;
    // The same faults over HTTP, with their paths.
    EXPECT_EQ(http(cases[2].json), "422 transport: invalid value: integer `70000`, expected u16 at line 1 column 59");
    EXPECT_EQ(http(cases[3].json), "400 protocol: invalid escape at line 1 column 16");
}
