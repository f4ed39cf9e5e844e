// Texts of the libusb road that come from the device or from libusb's error kinds.
#include <libusb.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usb_libusb.hpp"

namespace pvo_device {
namespace {

TEST(UsbTexts, SerialDescriptorDecodesUtf16WithoutLoss) {
    struct Case {
        std::vector<std::uint8_t> units;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{'A', 0, 'b', 0, '1', 0}, "Ab1"},
        {{0xDC, 0x00, 0x6E, 0x00}, "\xC3\x9Cn"},         // Ün
        {{0x13, 0x27}, "\xE2\x9C\x93"},                  // U+2713
        {{0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},  // U+1F600 from a pair
        {{0x3D, 0xD8, 'x', 0}, "\xEF\xBF\xBDx"},         // unpaired high surrogate
        {{0x00, 0xDE, 'x', 0}, "\xEF\xBF\xBDx"},         // unpaired low surrogate
        {{'x', 0, 'y'}, "x\xEF\xBF\xBD"},                // dangling odd byte
        {{}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(utf16le_to_utf8(c.units), c.text);
}

TEST(UsbTexts, TransferErrorsReadByKind) {
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_TIMEOUT), "transfer was cancelled");
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_PIPE), "endpoint stalled");
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_NO_DEVICE), "device disconnected");
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_IO), "hardware fault or protocol violation");
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_INVALID_PARAM), "invalid or unsupported argument");
    EXPECT_EQ(transfer_error_text(LIBUSB_ERROR_NO_MEM), "unknown (-11)");
}

TEST(UsbTexts, DeviceIdsAreZeroPaddedLowerCaseHex) {
    EXPECT_EQ(usb_id_text(2338, 40), "usb 0922:0028");
    EXPECT_EQ(usb_id_text(0xABCD, 0x0001), "usb abcd:0001");
}

}  // namespace
}  // namespace pvo_device
