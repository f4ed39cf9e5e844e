// The device address: a record tagged by its "type" key. The tag may stand anywhere in the
// object, so the other entries are kept aside (each checked as it is read) until the object
// ends; then they are read as the fields of the variant the tag names. In the array form the
// tag comes first and the variant's fields follow in order.
#include "record_reader.hpp"

#include <array>
#include <optional>
#include <string>

namespace parvello::request {
namespace {

constexpr auto kUsb =
    shape<UsbAddress>("struct variant Transport::Usb", "struct variant Transport::Usb with 3 elements",
                      field("vendor_id", &UsbAddress::vendor_id), field("product_id", &UsbAddress::product_id),
                      field("serial", &UsbAddress::serial, Presence::Optional));

constexpr auto kNetwork =
    shape<NetworkAddress>("struct variant Transport::Network", "struct variant Transport::Network with 2 elements",
                          field("host", &NetworkAddress::host), field("port", &NetworkAddress::port));

constexpr auto kSerial =
    shape<SerialAddress>("struct variant Transport::Serial", "struct variant Transport::Serial with 2 elements",
                         field("path", &SerialAddress::path), field("baud", &SerialAddress::baud, Presence::Defaulted));

constexpr auto kBle = shape<BleAddress>("struct variant Transport::Ble", "struct variant Transport::Ble with 1 element",
                                        field("name", &BleAddress::name));

constexpr auto kBrowser =
    shape<BrowserAddress>("struct variant Transport::Browser", "struct variant Transport::Browser with 9 elements",
                          field("connection", &BrowserAddress::connection), field("api", &BrowserAddress::api),
                          field("vendor_id", &BrowserAddress::vendor_id, Presence::Optional),
                          field("product_id", &BrowserAddress::product_id, Presence::Optional),
                          field("serial_number", &BrowserAddress::serial_number, Presence::Optional),
                          field("port_id", &BrowserAddress::port_id, Presence::Optional),
                          field("ble_id", &BrowserAddress::ble_id, Presence::Optional),
                          field("ble_name", &BrowserAddress::ble_name, Presence::Optional),
                          field("device_label", &BrowserAddress::device_label, Presence::Optional));

// In the order of the alternatives of `Transport`.
constexpr std::array<std::string_view, 5> kTags = {"usb", "network", "serial", "ble", "browser"};
constexpr std::string_view kTagKey = "type";

bool read_tag(json::Cursor& in, std::optional<std::size_t>& tag) {
    json::Scalar value;
    if (!in.read_scalar(value)) return false;
    if (value.kind != json::Kind::String) {
        return in.shape_here(invalid_type(value, "variant identifier"));
    }
    for (std::size_t i = 0; i < kTags.size(); ++i) {
        if (value.text.view() == kTags[i]) {
            tag = i;
            return true;
        }
    }
    return in.shape_here("unknown variant `" + std::string(value.text.view()) +
                         "`, expected one of `usb`, `network`, `serial`, `ble`, `browser`");
}

// A value kept for later: scalars whole, objects and arrays checked and known by kind only.
bool read_kept(json::Cursor& in, json::Scalar& value) {
    if (!in.read_scalar(value)) return false;
    if (value.kind == json::Kind::Object || value.kind == json::Kind::Array) {
        return in.skip_value();
    }
    return true;
}

// The object form, after its opening brace: the tag read where it stands, the rest kept.
bool read_tagged_object(json::Cursor& in, std::optional<std::size_t>& tag, std::vector<KeptEntry>& kept) {
    bool first = true;
    for (;;) {
        const auto step = in.next_member(first);
        if (step == json::Cursor::Step::Failed) return false;
        if (step == json::Cursor::Step::End) return true;
        KeptEntry entry;
        if (!in.read_key(entry.key)) return false;
        const bool is_tag = entry.key.view() == kTagKey;
        if (is_tag) {
            if (tag) return in.shape_here(duplicate_field(kTagKey));
            in.push_key(kTagKey);
            if (!in.colon() || !read_tag(in, tag)) return false;
        } else {
            in.push_key(entry.key.view());
            if (!in.colon() || !read_kept(in, entry.value)) return false;
        }
        in.pop();
        if (!is_tag) kept.push_back(std::move(entry));
    }
}

// The array form, after its opening bracket: the tag first, then the variant's fields.
bool read_tagged_array(json::Cursor& in, std::optional<std::size_t>& tag, std::vector<KeptEntry>& kept) {
    bool first = true;
    for (std::size_t i = 0;; ++i) {
        in.push_index(i);
        const auto step = in.next_element(first);
        if (step == json::Cursor::Step::Failed) return false;
        if (step == json::Cursor::Step::End) {
            in.pop();
            return true;
        }
        if (i == 0 ? !read_tag(in, tag) : !read_kept(in, kept.emplace_back().value)) {
            return false;
        }
        in.pop();
    }
}

template <std::size_t I, class S>
bool read_variant(json::Cursor& in, std::vector<KeptEntry>& kept, bool array_form, Transport& out, const S& shape,
                  std::size_t at) {
    return read_kept_record(in, kept, array_form, out.emplace<I>(), shape, at);
}

}  // namespace

bool read_value(json::Cursor& in, Transport& out) {
    const int c = in.peek();
    if (c != '{' && c != '[') return refuse_type(in, "internally tagged enum Transport");
    const bool array_form = c == '[';
    if (!in.open()) return false;
    std::optional<std::size_t> tag;
    std::vector<KeptEntry> kept;
    const bool read = array_form ? read_tagged_array(in, tag, kept) : read_tagged_object(in, tag, kept);
    if (!read) return false;
    in.close();
    const std::size_t end = in.offset();
    if (!tag) return in.shape(missing_field(kTagKey), end);
    switch (*tag) {
        case 0:
            return read_variant<0>(in, kept, array_form, out, kUsb, end);
        case 1:
            return read_variant<1>(in, kept, array_form, out, kNetwork, end);
        case 2:
            return read_variant<2>(in, kept, array_form, out, kSerial, end);
        case 3:
            return read_variant<3>(in, kept, array_form, out, kBle, end);
        default:
            return read_variant<4>(in, kept, array_form, out, kBrowser, end);
    }
}

}  // namespace parvello::request
