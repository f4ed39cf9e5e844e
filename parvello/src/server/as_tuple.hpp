#pragma once
// The completion token of the server's awaited operations: the error comes back as a value
// beside the result instead of being thrown.
#include <boost/asio/as_tuple.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace parvello {

inline constexpr auto kTuple = boost::asio::as_tuple(boost::asio::use_awaitable);

}  // namespace parvello
