#pragma once
// DYMO status replies: the one status byte of a D1 tape printer, the one status byte of a
// classic LabelWriter, and the 32-byte print-engine status of a LabelWriter 550 with the
// report and readiness built from it. Pure functions; no I/O.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "pvo-status/readiness.hpp"
#include "pvo-status/status_error.hpp"
#include "pvo-status/status_words.hpp"

namespace pvo_status {

// LabelWriter 550 print-engine status.
struct DymoLw {
    LwPrintState print_status = LwPrintState::Unknown;
    std::uint32_t print_job_id = 0;
    std::uint16_t label_index = 0;
    PrintHeadStatus print_head_status = PrintHeadStatus::Unknown;
    std::uint8_t print_density = 0;
    MediaBayStatus main_bay_status = MediaBayStatus::Unknown;
    std::optional<std::string> sku;
    std::uint32_t error_id = 0;
    std::uint16_t label_count = 0;
    bool eps_present = false;
    PrintHeadVoltage print_head_voltage = PrintHeadVoltage::Unknown;
    Readiness readiness;
    bool operator==(const DymoLw&) const = default;
};

// D1 tape printer status byte.
struct Dymo {
    std::uint8_t raw = 0;
    bool cassette_inserted = false;
    bool cutter_jammed = false;
    bool general_error = false;
    bool operator==(const Dymo&) const = default;
};

// Classic LabelWriter status byte.
struct DymoLwClassic {
    std::uint8_t raw = 0;
    bool ready = false;
    bool top_of_form = false;
    bool no_paper = false;
    bool paper_jam = false;
    bool printer_error = false;
    bool operator==(const DymoLwClassic&) const = default;
};

// The JSON objects of the reports, tagged "dymo-lw", "dymo" and "dymolwclassic".
nlohmann::json report_json(const DymoLw& report);
nlohmann::json report_json(const Dymo& report);
nlohmann::json report_json(const DymoLwClassic& report);

// The D1 status byte as read: cassette inserted (0x40), cutter jammed (0x10), general error
// (0x04). Other bits are ignored.
Dymo decode_d1_status(std::uint8_t status) noexcept;

// The classic LabelWriter status byte: ready (0x01), top of form (0x02), no paper (0x20),
// paper jam (0x40), printer error (0x80). Other bits are ignored.
DymoLwClassic decode_classic_lw_status(std::uint8_t status) noexcept;

// The LabelWriter 550 print-engine status, as read from the first 32 bytes of its reply.
struct EngineStatus {
    LwPrintState print_state = LwPrintState::Idle;
    std::uint32_t print_job_id = 0;
    std::uint16_t label_index = 0;
    PrintHeadStatus head_status = PrintHeadStatus::Ok;
    std::uint8_t print_density = 0;
    MediaBayStatus bay_status = MediaBayStatus::BayUnknown;
    std::optional<std::string> sku;
    std::uint32_t error_id = 0;
    std::uint16_t label_count = 0;
    bool eps_present = false;
    PrintHeadVoltage head_voltage = PrintHeadVoltage::Unknown;
    bool operator==(const EngineStatus&) const = default;
};

inline constexpr std::size_t engine_status_size = 32;

// Refuses, in this order: fewer than 32 bytes ("short status reply (N bytes, expected 32)"),
// a reply opening with B6 CA (an NFC record read out of step), a print state above 5. Bytes
// after the first 32 are ignored.
std::expected<EngineStatus, StatusError> parse_print_engine_status(std::span<const std::uint8_t> reply);

// The DymoLw report of an engine status, with its readiness: printing or busy is ready; error
// and cancel are not; otherwise the head, the bay, the voltage, an error id and a missing
// print lock each make it not ready, in that order, naming why.
DymoLw build_lw550_report(const EngineStatus& status);

// The status query's readers of a whole reply. The D1 and classic replies are read by their
// first byte; an empty one is refused ("empty D1 status reply", "empty classic LW status
// reply"). The LabelWriter 550 reply is the print-engine status and its report.
std::expected<Dymo, StatusError> parse_d1_status(std::span<const std::uint8_t> reply);
std::expected<DymoLwClassic, StatusError> parse_classic_lw_status(std::span<const std::uint8_t> reply);
std::expected<DymoLw, StatusError> parse_lw550_status(std::span<const std::uint8_t> reply);

}  // namespace pvo_status
