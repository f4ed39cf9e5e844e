// Opening a request's device address, and the job runner's io over the open device.
#include <gtest/gtest.h>

#include "job_test_devices.hpp"
#include "job/transport_io.hpp"

namespace parvello {
namespace {

using namespace std::chrono_literals;
using pvo_device::OpenTransport;
using pvo_device::SerialTarget;
using pvo_device::TcpTarget;
using test::LoopbackPrinter;

// Network and serial addresses are only recorded: nothing is connected or opened.
TEST(OpenTransport, NetworkAndSerialAreRecordedWithoutIo) {
    LoopbackPrinter printer;
    auto tcp = open_transport(printer.address());
    ASSERT_TRUE(tcp.has_value());
    const auto& target = std::get<TcpTarget>(*tcp);
    EXPECT_EQ(target.host, "127.0.0.1");
    EXPECT_EQ(target.port, printer.address().port);
    EXPECT_FALSE(printer.has_unaccepted_connection());

    // Neither a host that does not resolve nor a port that does not exist fails here.
    EXPECT_TRUE(open_transport(NetworkAddress{"printer.invalid", 9100}).has_value());
    auto serial = open_transport(SerialAddress{"/nonexistent/ttyS9", 19200});
    ASSERT_TRUE(serial.has_value());
    const auto& port = std::get<SerialTarget>(*serial);
    EXPECT_EQ(port.path, "/nonexistent/ttyS9");
    EXPECT_EQ(port.baud, 19200u);
    EXPECT_FALSE(port.is_open());
}

TEST(OpenTransport, RefusedAddresses) {
    struct Case {
        Transport address;
        JobError error;
    };
    const Case cases[] = {
        {BleAddress{"LetraTag"},
         JobError::transport("Bluetooth LE support not compiled in; rebuild parvello with `PVO_WITH_BLE`")},
        {BrowserAddress{"bluetooth", "webbluetooth", 1, 2, {}, {}, {}, {}, {}}, JobError::browser_unsupported()},
    };
    for (const auto& c : cases) {
        const auto result = open_transport(c.address);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), c.error);
    }
}

// The job runner sees a device error as its display text.
TEST(OpenTransportIo, DeviceErrorBecomesItsDisplayText) {
    OpenTransport device{std::in_place_type<SerialTarget>, "/nonexistent/ttyS9", 9600u};
    OpenTransportIo io(device);
    const auto read = io.read(8, 100);
    ASSERT_FALSE(read.has_value());
    EXPECT_TRUE(read.error().starts_with("transport error: open serial /nonexistent/ttyS9: ")) << read.error();
    const auto written = io.write(test::bytes_of("x"));
    ASSERT_FALSE(written.has_value());
    EXPECT_TRUE(written.error().starts_with("transport error: open serial /nonexistent/ttyS9: ")) << written.error();
}

}  // namespace
}  // namespace parvello
