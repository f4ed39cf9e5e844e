// The device list as the JSON body of GET /devices.
#include <nlohmann/json.hpp>

#include "pvo-device/discovery.hpp"

namespace pvo_device {
namespace {

template <typename T>
nlohmann::ordered_json or_null(const std::optional<T>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json to_json(const DiscoveredDevice& d) {
    nlohmann::ordered_json object{
        {"vendor_id", or_null(d.vendor_id)},
        {"product_id", or_null(d.product_id)},
        {"serial", or_null(d.serial)},
        {"brand", or_null(d.brand)},
        {"model", or_null(d.model)},
        {"protocol", d.protocol ? nlohmann::ordered_json(pvo_status::wire_name(*d.protocol)) : nullptr},
        {"connection", d.connection},
    };
    if (d.path) object["path"] = *d.path;
    return object;
}

}  // namespace

std::string write_device_list(std::span<const DiscoveredDevice> devices) {
    auto list = nlohmann::ordered_json::array();
    for (const DiscoveredDevice& device : devices) list.push_back(to_json(device));
    // Texts from the system are UTF-8 as a rule; should one not be, its bad bytes become
    // U+FFFD instead of making the whole answer fail.
    return list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace pvo_device
