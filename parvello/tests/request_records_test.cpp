// Well-formed requests read into their records: both forms of every record, defaults, absent
// and null optional fields, escapes, unknown keys.
#include "parvello/request.hpp"

#include "request_test_support.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace parvello;

namespace {

JobEnvelope read_envelope(std::string_view json) {
    auto read = read_job_envelope(json, ReadMode::HttpBody);
    EXPECT_TRUE(read.has_value()) << request_test::outcome(read);
    return read.value_or(JobEnvelope{});
}

BrowserAddress browser(std::string connection, std::string api) {
    BrowserAddress address;
    address.connection = std::move(connection);
    address.api = std::move(api);
    return address;
}

}  // namespace

TEST(RequestRecords, ObjectFormWithEveryField) {
    const JobEnvelope envelope = read_envelope(R"({"protocol":"dymo","handshake":"dymo_lw",
        "driver_variant":"550","transport":{"type":"usb","vendor_id":2338,"product_id":40,
        "serial":"S1"},"labels":[{"index":7,"filename":"a.bin","size":3,"data_base64":"AAEC"},
        {"data_base64":"AA=="}]})");
    const JobEnvelope expected{"dymo",
                               "dymo_lw",
                               "550",
                               UsbAddress{2338, 40, "S1"},
                               {JobLabel{7, "a.bin", 3, "AAEC"}, JobLabel{0, std::nullopt, std::nullopt, "AA=="}}};
    EXPECT_EQ(envelope, expected);
}

TEST(RequestRecords, ArrayFormsReadFieldsInDeclarationOrder) {
    const JobEnvelope envelope = read_envelope(
        R"(["dymo","dymo_lw",null,["serial","/dev/ttyUSB0"],[[7,null,null,"AA=="],{"data_base64":"AQ=="}]])");
    const JobEnvelope expected{
        "dymo",
        "dymo_lw",
        std::nullopt,
        SerialAddress{"/dev/ttyUSB0"},
        {JobLabel{7, std::nullopt, std::nullopt, "AA=="}, JobLabel{0, std::nullopt, std::nullopt, "AQ=="}}};
    EXPECT_EQ(envelope, expected);
}

TEST(RequestRecords, AbsentAndNullOptionalFieldsAreNone) {
    const std::string tail = R"("transport":{"type":"ble","name":"n"},"labels":[]})";
    const JobEnvelope absent = read_envelope(R"({"protocol":"p","handshake":"h",)" + tail);
    const JobEnvelope null = read_envelope(R"({"protocol":"p","driver_variant":null,"handshake":"h",)" + tail);
    EXPECT_EQ(absent.driver_variant, std::nullopt);
    EXPECT_EQ(absent, null);

    // An empty list of labels is well-formed; refusing it is the job runner's part.
    EXPECT_TRUE(absent.labels.empty());

    const JobEnvelope label = read_envelope(
        R"({"protocol":"p","handshake":"h",)"
        R"("transport":{"type":"ble","name":"n"},"labels":[{"index":7,"filename":null,"size":null,"data_base64":"AA!A"}]})");
    ASSERT_EQ(label.labels.size(), 1u);
    // The reader keeps the index and the text as they are; neither is interpreted here.
    EXPECT_EQ(label.labels[0], (JobLabel{7, std::nullopt, std::nullopt, "AA!A"}));
}

// Reading from a shared text gives what reading from a view gives, faults included; a label
// whose text needs no unescaping views the shared text and keeps it alive, an escaped one has
// its own decoded characters and keeps nothing.
TEST(RequestRecords, SharedTextReadsAlikeAndLabelsViewIt) {
    const std::string plain =
        R"({"protocol":"p","handshake":"h","transport":["ble","n"],"labels":[{"data_base64":"AAEC"},[1,null,null,"AA=="]]})";
    const std::string escaped =
        R"({"protocol":"p","handshake":"h","transport":["ble","n"],"labels":[{"data_base64":"QQ\u003d\u003d"}]})";
    for (const std::string& json :
         {plain, escaped, std::string(R"({"protocol":"p","labels":[{"data_base64":5}]})"), plain.substr(0, 90)}) {
        SCOPED_TRACE(json);
        for (const auto mode : {ReadMode::HttpBody, ReadMode::WebSocketMessage}) {
            EXPECT_EQ(read_job_envelope(std::make_shared<const std::string>(json), mode),
                      read_job_envelope(json, mode));
        }
    }

    auto text = std::make_shared<const std::string>(plain);
    const std::weak_ptr<const std::string> watch = text;
    const auto* const begin = text->data();
    auto envelope = read_job_envelope(std::move(text), ReadMode::HttpBody);
    ASSERT_TRUE(envelope.has_value()) << request_test::outcome(envelope);
    ASSERT_FALSE(watch.expired());
    for (const JobLabel& label : envelope->labels) {
        const char* const at = label.data_base64.view().data();
        EXPECT_TRUE(at > begin && at < begin + plain.size()) << "a label's text was copied";
    }
    EXPECT_EQ(envelope->labels[1].data_base64, "AA==");
    envelope->labels.clear();
    EXPECT_TRUE(watch.expired()) << "the text outlived every label";

    auto escaped_text = std::make_shared<const std::string>(escaped);
    const std::weak_ptr<const std::string> escaped_watch = escaped_text;
    const auto decoded = read_job_envelope(std::move(escaped_text), ReadMode::HttpBody);
    ASSERT_TRUE(decoded.has_value()) << request_test::outcome(decoded);
    EXPECT_TRUE(escaped_watch.expired()) << "an escaped label kept the text";
    EXPECT_EQ(decoded->labels[0].data_base64, "QQ==");
}

TEST(RequestRecords, IntegerFieldsTakeTheirWholeRange) {
    const JobEnvelope envelope =
        read_envelope(R"({"protocol":"p","handshake":"h","transport":["usb",0,65535],"labels":[)"
                      R"({"index":4294967295,"size":18446744073709551615,"data_base64":""}]})");
    EXPECT_EQ(envelope.transport, Transport(UsbAddress{0, 65535, std::nullopt}));
    EXPECT_EQ(envelope.labels.at(0).index, 4294967295u);
    EXPECT_EQ(envelope.labels.at(0).size, 18446744073709551615u);
}

TEST(RequestRecords, EscapesAreDecodedAndWhiteSpaceIsSkipped) {
    const JobEnvelope envelope = read_envelope(
        "\r\n\t { \"protocol\" : \"d\\u00fcmo\\n\\\"\\/\\\\\" , \"handshake\":\"\\ud83d\\ude00\","
        "\"transport\":{\"typ\\u0065\":\"ble\",\"name\":\"\xc3\xa9\"} , \"labels\" : [ ] } \n");
    EXPECT_EQ(envelope.protocol, "d\xc3\xbcmo\n\"/\\");
    EXPECT_EQ(envelope.handshake, "\xf0\x9f\x98\x80");
    EXPECT_EQ(envelope.transport, Transport(BleAddress{"\xc3\xa9"}));
}

TEST(RequestRecords, UnknownKeysAreSkippedAtEveryLevel) {
    const JobEnvelope envelope =
        read_envelope(R"({"x":{"deep":[1,-2.5e3,true,null,{"k":"v"}]},"protocol":"p","handshake":"h",)"
                      R"("transport":{"type":"network","interface":0,"host":"h","port":9100,"more":[[]]},)"
                      R"("labels":[{"data_base64":"AA==","Index":3}],"Protocol":"ignored"})");
    EXPECT_EQ(envelope.protocol, "p");
    EXPECT_EQ(envelope.transport, Transport(NetworkAddress{"h", 9100}));
    EXPECT_EQ(envelope.labels.at(0).index, 0u);  // keys match with case: "Index" is unknown
}

TEST(RequestRecords, StatusQueryAndSoftRebootInBothForms) {
    const auto query = read_status_query_request(
        R"({"transport":{"type":"serial","path":"COM3"},"protocol":"zpl","extra":1})", ReadMode::HttpBody);
    ASSERT_TRUE(query.has_value()) << request_test::outcome(query);
    EXPECT_EQ(*query, (StatusQueryRequest{"zpl", SerialAddress{"COM3", 115200}}));

    const auto reboot = read_soft_reboot_request(R"(["niimbot",["ble","B1"]])", ReadMode::WebSocketMessage);
    ASSERT_TRUE(reboot.has_value()) << request_test::outcome(reboot);
    EXPECT_EQ(*reboot, (SoftRebootRequest{"niimbot", BleAddress{"B1"}}));
}

TEST(RequestRecords, TransportVariantsInEveryForm) {
    const BrowserAddress browser_all{"usb", "webusb", 1, 2, "s", "p", "bi", "bn", "dl"};
    const struct {
        const char* json;
        Transport expected;
    } cases[] = {
        // The tag first, in the middle, last.
        {R"({"type":"usb","vendor_id":2338,"product_id":40})", UsbAddress{2338, 40, {}}},
        {R"({"vendor_id":2338,"type":"usb","product_id":40,"serial":null})", UsbAddress{2338, 40, {}}},
        {R"({"vendor_id":1,"product_id":2,"serial":"X","type":"usb"})", UsbAddress{1, 2, "X"}},
        {R"({"port":9100,"type":"network","host":"h"})", NetworkAddress{"h", 9100}},
        // `baud` defaults to 115200.
        {R"({"type":"serial","path":"COM3"})", SerialAddress{"COM3", 115200}},
        {R"({"type":"serial","path":"COM3","baud":9600})", SerialAddress{"COM3", 9600}},
        {R"({"type":"ble","name":"P1"})", BleAddress{"P1"}},
        {R"({"type":"browser","connection":"usb","api":"webusb"})", browser("usb", "webusb")},
        {R"({"type":"browser","connection":"usb","api":"webusb","vendor_id":1,"product_id":2,)"
         R"("serial_number":"s","port_id":"p","ble_id":"bi","ble_name":"bn","device_label":"dl"})",
         browser_all},
        // Unknown keys beside the variant's fields, with values of any shape.
        {R"({"type":"usb","vendor_id":1,"product_id":2,"interface":0})", UsbAddress{1, 2, {}}},
        {R"({"x":{"a":[1,{"b":null}]},"type":"usb","vendor_id":1,"product_id":2})", UsbAddress{1, 2, {}}},
        // Array forms: the tag, then the fields; trailing optional fields may be left out.
        {R"(["usb",2338,40])", UsbAddress{2338, 40, {}}},
        {R"(["usb",2338,40,"S"])", UsbAddress{2338, 40, "S"}},
        {R"(["network","h",9100])", NetworkAddress{"h", 9100}},
        {R"(["serial","COM3"])", SerialAddress{"COM3", 115200}},
        {R"(["serial","COM3",9600])", SerialAddress{"COM3", 9600}},
        {R"(["ble","n"])", BleAddress{"n"}},
        {R"(["browser","usb","webusb"])", browser("usb", "webusb")},
        {R"(["browser","usb","webusb",1,2,"s","p","bi","bn","dl"])", browser_all},
    };
    for (const auto& c : cases) {
        const auto read = read_status_query_request(std::string(R"({"protocol":"zpl","transport":)") + c.json + "}",
                                                    ReadMode::HttpBody);
        ASSERT_TRUE(read.has_value()) << c.json << "\n" << request_test::outcome(read);
        EXPECT_EQ(read->transport, c.expected) << c.json;
    }
}
