#pragma once
// The word enumerations of the printer status report. Each is stored as its index and written
// to JSON as its word; `word` gives the word of a value.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pvo_status {

enum class LwPrintState : std::uint8_t { Idle, Printing, Error, Cancel, Busy, NoLock, Unknown };

enum class PrintHeadStatus : std::uint8_t { Ok, Overheated, StatusUnknown, Unknown };

enum class MediaBayStatus : std::uint8_t {
    BayUnknown,
    BayOpen,
    NoMedia,
    MediaNotInsertedProperly,
    MediaPresentUnknown,
    MediaEmpty,
    MediaCriticallyLow,
    MediaLow,
    MediaOk,
    MediaJammed,
    MediaCounterfeit,
    Unknown,
};

enum class PrintHeadVoltage : std::uint8_t { Unknown, Ok, Low, CriticallyLow, TooLowForPrinting };

enum class BrotherStatusType : std::uint8_t {
    Reply,
    PrintComplete,
    Error,
    TurnedOff,
    Notification,
    PhaseChange,
    Unknown,
};

enum class BrotherPhaseType : std::uint8_t { Waiting, Printing, Unknown };

enum class QlMediaType : std::uint8_t { NoMedia, Continuous, DieCut, Unknown };

enum class QlError : std::uint8_t {
    NoMedia,
    EndOfMedia,
    CutterJam,
    PrinterInUse,
    PrinterTurnedOff,
    ReplaceMedia,
    ExpansionBufferFull,
    CommunicationError,
    CoverOpen,
    MediaCannotBeFed,
    SystemError,
};

enum class PtMediaType : std::uint8_t {
    NoMedia,
    LaminatedTape,
    NonLaminatedTape,
    FabricTape,
    HeatShrinkTube2To1,
    FleTape,
    FlexibleIdTape,
    SatinTape,
    HeatShrinkTube3To1,
    IncompatibleTape,
    Unknown,
};

enum class PtError : std::uint8_t {
    NoMedia,
    EndOfMedia,
    CutterJam,
    WeakBatteries,
    HighVoltageAdapter,
    ReplaceMedia,
    ExpansionBufferFull,
    CommunicationError,
    CommunicationBufferFull,
    CoverOpen,
    Overheating,
    BlackMarkingNotDetected,
    SystemError,
    FleTapeEnd,
    HighResDraftError,
    AdapterInsertError,
    IncompatibleMedia,
};

enum class Severity : std::uint8_t { Success, Warning, Error, Neutral, Primary };

enum class GpglState : std::uint8_t { Ready, Moving, Unloaded, Paused, Cancelled };

namespace detail {

// The words of one enumeration in index order; `Last` is its last value, so a table that does
// not cover the enumeration exactly fails to compile.
template <auto Last, std::size_t N>
struct WordTable {
    std::array<std::string_view, N> words;
    static_assert(static_cast<std::size_t>(Last) + 1 == N, "word table does not match its enum");

    constexpr std::string_view operator[](decltype(Last) value) const noexcept {
        const auto index = static_cast<std::size_t>(value);
        return index < N ? words[index] : std::string_view{};
    }
};

template <auto Last, typename... W>
constexpr WordTable<Last, sizeof...(W)> word_table(W... words) {
    return {{std::string_view(words)...}};
}

inline constexpr auto lw_print_state_words =
    word_table<LwPrintState::Unknown>("idle", "printing", "error", "cancel", "busy", "no_lock", "unknown");
inline constexpr auto print_head_status_words =
    word_table<PrintHeadStatus::Unknown>("ok", "overheated", "status_unknown", "unknown");
inline constexpr auto media_bay_status_words = word_table<MediaBayStatus::Unknown>(
    "bay_unknown", "bay_open", "no_media", "media_not_inserted_properly", "media_present_unknown", "media_empty",
    "media_critically_low", "media_low", "media_ok", "media_jammed", "media_counterfeit", "unknown");
inline constexpr auto print_head_voltage_words =
    word_table<PrintHeadVoltage::TooLowForPrinting>("unknown", "ok", "low", "critically_low", "too_low_for_printing");
inline constexpr auto brother_status_type_words = word_table<BrotherStatusType::Unknown>(
    "reply", "print_complete", "error", "turned_off", "notification", "phase_change", "unknown");
inline constexpr auto brother_phase_type_words =
    word_table<BrotherPhaseType::Unknown>("waiting", "printing", "unknown");
inline constexpr auto ql_media_type_words =
    word_table<QlMediaType::Unknown>("no_media", "continuous", "die_cut", "unknown");
inline constexpr auto ql_error_words = word_table<QlError::SystemError>(
    "no_media", "end_of_media", "cutter_jam", "printer_in_use", "printer_turned_off", "replace_media",
    "expansion_buffer_full", "communication_error", "cover_open", "media_cannot_be_fed", "system_error");
inline constexpr auto pt_media_type_words = word_table<PtMediaType::Unknown>(
    "no_media", "laminated_tape", "non_laminated_tape", "fabric_tape", "heat_shrink_tube2_to1", "fle_tape",
    "flexible_id_tape", "satin_tape", "heat_shrink_tube3_to1", "incompatible_tape", "unknown");
inline constexpr auto pt_error_words = word_table<PtError::IncompatibleMedia>(
    "no_media", "end_of_media", "cutter_jam", "weak_batteries", "high_voltage_adapter", "replace_media",
    "expansion_buffer_full", "communication_error", "communication_buffer_full", "cover_open", "overheating",
    "black_marking_not_detected", "system_error", "fle_tape_end", "high_res_draft_error", "adapter_insert_error",
    "incompatible_media");
inline constexpr auto severity_words =
    word_table<Severity::Primary>("success", "warning", "error", "neutral", "primary");
inline constexpr auto gpgl_state_words =
    word_table<GpglState::Cancelled>("ready", "moving", "unloaded", "paused", "cancelled");

}  // namespace detail

// The JSON word of a value; empty for a value outside its enumeration (a bad cast).
constexpr std::string_view word(LwPrintState v) noexcept { return detail::lw_print_state_words[v]; }
constexpr std::string_view word(PrintHeadStatus v) noexcept { return detail::print_head_status_words[v]; }
constexpr std::string_view word(MediaBayStatus v) noexcept { return detail::media_bay_status_words[v]; }
constexpr std::string_view word(PrintHeadVoltage v) noexcept { return detail::print_head_voltage_words[v]; }
constexpr std::string_view word(BrotherStatusType v) noexcept { return detail::brother_status_type_words[v]; }
constexpr std::string_view word(BrotherPhaseType v) noexcept { return detail::brother_phase_type_words[v]; }
constexpr std::string_view word(QlMediaType v) noexcept { return detail::ql_media_type_words[v]; }
constexpr std::string_view word(QlError v) noexcept { return detail::ql_error_words[v]; }
constexpr std::string_view word(PtMediaType v) noexcept { return detail::pt_media_type_words[v]; }
constexpr std::string_view word(PtError v) noexcept { return detail::pt_error_words[v]; }
constexpr std::string_view word(Severity v) noexcept { return detail::severity_words[v]; }
constexpr std::string_view word(GpglState v) noexcept { return detail::gpgl_state_words[v]; }

}  // namespace pvo_status
