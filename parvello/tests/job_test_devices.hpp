#pragma once
// Real devices for the job tests: a loopback TCP printer that records every connection, a port
// where nothing listens, the device library's test devices (a pseudo-terminal serial device and
// a printer-class USB tree whose nodes are pseudo-terminals), and a sink that records the
// events it is given.
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "job/job_sink.hpp"
#include "parvello/request.hpp"
#include "pty_device.hpp"
#include "usbprint_tree.hpp"

namespace parvello::test {

using Bytes = std::vector<std::uint8_t>;
using pvo_device::test::PtyDevice;
using pvo_device::test::UsbprintTree;

inline Bytes bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

// The progress event of label `i` of `n` in `phase`.
inline JobEvent progress(std::string phase, std::uint32_t i = 0, std::uint32_t n = 1) {
    return {JobEvent::Progress{std::move(phase), i, n, i, n}};
}

class RecordingSink final : public JobEventSink {
public:
    void emit(JobEvent event) override { events.push_back(std::move(event)); }

    std::vector<std::string> json() const {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.serialize());
        return out;
    }

    std::vector<JobEvent> events;
};

class LoopbackPrinter {
public:
    LoopbackPrinter() : acceptor_(io_, boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0)) {}

    NetworkAddress address() const { return {"127.0.0.1", acceptor_.local_endpoint().port()}; }

    // Accepts `count` connections one after another in the background; each one's bytes are
    // read until the client closes its side. A connection that does not come, or a client that
    // stays silent, ends the serving after `limit`, so a failing test fails instead of hanging.
    std::future<std::vector<Bytes>> serve(std::size_t count,
                                          std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return std::async(std::launch::async, [this, count, limit] {
            std::vector<Bytes> connections;
            for (std::size_t i = 0; i < count; ++i) {
                if (!wait_readable(acceptor_.native_handle(), limit)) break;
                boost::asio::ip::tcp::socket peer(io_);
                acceptor_.accept(peer);
                Bytes received;
                std::uint8_t chunk[65536];
                boost::system::error_code ec;
                while (!ec && wait_readable(peer.native_handle(), limit)) {
                    const std::size_t n = peer.read_some(boost::asio::buffer(chunk), ec);
                    received.insert(received.end(), chunk, chunk + n);
                }
                connections.push_back(std::move(received));
            }
            return connections;
        });
    }

    // True when a client connected that was not accepted.
    bool has_unaccepted_connection() {
        acceptor_.non_blocking(true);
        boost::asio::ip::tcp::socket peer(io_);
        boost::system::error_code ec;
        acceptor_.accept(peer, ec);
        acceptor_.non_blocking(false);
        return !ec;
    }

private:
    static bool wait_readable(int fd, std::chrono::milliseconds limit) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
    }

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
};

// A loopback port bound but not listening, so every connection to it is refused.
class RefusingPort {
public:
    RefusingPort() : socket_(io_) {
        socket_.open(boost::asio::ip::tcp::v4());
        socket_.bind({boost::asio::ip::address_v4::loopback(), 0});
    }
    NetworkAddress address() const { return {"127.0.0.1", socket_.local_endpoint().port()}; }

private:
    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_;
};

}  // namespace parvello::test
