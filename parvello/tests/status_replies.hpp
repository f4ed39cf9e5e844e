#pragma once
// Status replies as printers send them, for the tests that play a printer answering a status
// query.
#include <cstdint>
#include <string_view>
#include <vector>

namespace parvello::test {

// A Brother QL: header 80 20 42, model '7', 62 mm continuous tape, waiting, no errors: ready.
inline std::vector<std::uint8_t> brother_ql_ready() {
    std::vector<std::uint8_t> reply(32, 0);
    reply[0] = 0x80;
    reply[1] = 0x20;
    reply[2] = 0x42;
    reply[4] = '7';
    reply[10] = 62;
    reply[11] = 0x0A;
    return reply;
}

// A ZPL host status of three framed lines, the second with the head-up flag set.
inline std::vector<std::uint8_t> zpl_host_status_head_open() {
    const std::string_view text =
        "\x02"
        "030,1,0,1245,000,0,0,0,000,0,0,0\x03\r\n"
        "\x02"
        "000,0,1,0,0,2,4,0,00000000,1,000\x03\r\n"
        "\x02"
        "1234,0\x03\r\n";
    return {text.begin(), text.end()};
}

}  // namespace parvello::test
