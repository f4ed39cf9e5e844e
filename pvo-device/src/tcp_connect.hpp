#pragma once
// Opening the connection of a TCP write or query. Internal to the TCP transport (it brings in
// Asio); the tests reach it to make a connection land on itself.
#include <expected>
#include <optional>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "pvo-device/device_error.hpp"
#include "pvo-device/tcp.hpp"

namespace pvo_device {

// Resolves the target's host and tries each address in turn; the first connection made is
// used. A connection whose local and remote addresses are the same (one to a port of this
// machine where nothing listens can land on itself when the kernel picks that same port for
// our end) is closed and counts as refused. Fails with "connect <host>:<port>: " and the text of
// the last attempt's error ("could not resolve to any addresses" for a name without one).
// `local`, when given, is bound before each attempt; the agent itself never binds.
std::expected<void, DeviceError> connect_to(boost::asio::io_context& io, boost::asio::ip::tcp::socket& socket,
                                            const TcpTarget& target,
                                            const std::optional<boost::asio::ip::tcp::endpoint>& local = {});

}  // namespace pvo_device
