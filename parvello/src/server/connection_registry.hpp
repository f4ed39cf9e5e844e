#pragma once
// The server's open connections, so that their number stays bounded. At the cap, or when the
// process runs out of descriptors, the plain HTTP connection that has waited longest on its
// client (for a request head or a body) is shut down to make room, or, when none waits, the
// WebSocket channel that has waited longest for its next message: clients that merely hold
// connections open cannot lock a page out, nor close a page's job channel while they hold any
// themselves, and a connection the agent is working for (a job, an answer being written) is
// never cut.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace parvello {

struct RegistryState;
struct RegistryEntry;

// One connection's place among the open connections; dropping the slot frees the place. Used
// only by the connection's own task, on the connection's thread.
class ConnectionSlot {
public:
    // A connection that no registry counts (and nothing shuts down).
    ConnectionSlot() noexcept = default;
    ConnectionSlot(ConnectionSlot&& other) noexcept;
    ConnectionSlot& operator=(ConnectionSlot&& other) noexcept;
    ~ConnectionSlot();

    // Marks the connection as waiting on its client for as long as it lives.
    class Waiting {
    public:
        explicit Waiting(ConnectionSlot& slot);
        ~Waiting();
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;

    private:
        ConnectionSlot& slot_;
    };
    [[nodiscard]] Waiting waiting_on_client() { return Waiting(*this); }

    // How the registry ends this connection: `shut_down` runs on the connection's thread, and
    // only while this slot is listed, so it may refer to the stream of the task that holds the
    // slot. The task that takes the slot over sets its own: a move clears it.
    void on_shut_down(std::function<void()> shut_down);

    // Marks the connection as a WebSocket channel from now on: one the registry shuts down to
    // make room only when no plain HTTP connection waits on its client.
    void serve_websocket();

private:
    friend class ConnectionRegistry;
    ConnectionSlot(std::shared_ptr<RegistryState> state, std::uint64_t id, RegistryEntry* entry) noexcept
        : state_(std::move(state)), id_(id), entry_(entry) {}
    void set_waiting(bool waiting);
    void release() noexcept;

    std::shared_ptr<RegistryState> state_;
    std::uint64_t id_ = 0;
    RegistryEntry* entry_ = nullptr;  // this connection's entry in `state_`, while listed
};

// Shared by every connection task of one server; safe to use from any thread.
class ConnectionRegistry {
public:
    explicit ConnectionRegistry(std::size_t max_connections);

    // Hands a function to the connection's thread, to run there.
    using ThreadPost = std::function<void(std::function<void()>)>;

    // Enters a connection just accepted, with the way onto its thread. At the cap the
    // connection that has waited longest on its client (plain HTTP ones first) is shut down;
    // when none waits on its client the new one is refused: none, and the caller closes it.
    // With `make_room` (descriptors run low) that connection is shut down below the cap too,
    // and the new one is admitted anyway.
    std::optional<ConnectionSlot> admit(ThreadPost post, bool make_room = false);

    // Shuts down the connection that has waited longest on its client (plain HTTP ones first,
    // WebSocket channels only when no plain one waits), so that its task ends and frees its
    // descriptor; false when no connection waits on its client. The shutdown itself happens on
    // that connection's thread, soon after; the connection stops counting against the cap at
    // once.
    bool shut_down_longest_waiting();

private:
    std::shared_ptr<RegistryState> state_;
};

}  // namespace parvello
