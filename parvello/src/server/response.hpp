#pragma once
// The answer a route or a layer builds: a status, header fields and a body, in the agent's own
// types. The connection frames it for the wire (see answer_bytes.hpp).
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace parvello {

// The statuses the agent answers with.
enum class Status : unsigned {
    SwitchingProtocols = 101,
    Ok = 200,
    NoContent = 204,
    BadRequest = 400,
    Forbidden = 403,
    NotFound = 404,
    MethodNotAllowed = 405,
    PayloadTooLarge = 413,
    UnsupportedMediaType = 415,
    UnprocessableEntity = 422,
    UpgradeRequired = 426,
    HeaderFieldsTooLarge = 431,
    InternalServerError = 500,
    BadGateway = 502,
};

constexpr unsigned status_code(Status status) noexcept { return static_cast<unsigned>(status); }

// The reason phrase of the status line ("Bad Request"); empty for a code the agent never sends.
std::string_view reason_phrase(Status status) noexcept;

// Header fields in the order they were added. Names are matched in any letter case and
// written as they were given. They are kept as they go on the wire, one "name: value\r\n"
// line each, so an answer's fields cost one allocation and are written in one piece; a value
// therefore holds no line break, and a name no colon.
class HeaderFields {
public:
    struct Field {
        std::string_view name;
        std::string_view value;
    };

    // Walks the lines in order.
    class Iterator {
    public:
        using value_type = Field;
        using difference_type = std::ptrdiff_t;

        Iterator() noexcept = default;
        explicit Iterator(std::string_view rest) noexcept : rest_(rest) { read(); }

        const Field& operator*() const noexcept { return field_; }
        const Field* operator->() const noexcept { return &field_; }
        Iterator& operator++() noexcept {
            rest_.remove_prefix(line_);
            read();
            return *this;
        }
        Iterator operator++(int) noexcept {
            Iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const noexcept { return rest_.data() == other.rest_.data(); }

    private:
        void read() noexcept;

        std::string_view rest_;
        Field field_{};
        std::size_t line_ = 0;
    };

    // The value of the first field of that name.
    std::optional<std::string_view> get(std::string_view name) const noexcept;
    std::size_t count(std::string_view name) const noexcept;

    // Replaces every field of that name with this one, which goes last.
    void set(std::string_view name, std::string_view value);
    // Adds a field, beside any of the same name.
    void add(std::string_view name, std::string_view value);
    void erase(std::string_view name);

    Iterator begin() const noexcept { return Iterator(lines_); }
    Iterator end() const noexcept { return Iterator(std::string_view(lines_.data() + lines_.size(), 0)); }

    // Every field as it goes on the wire, in order.
    std::string_view wire() const noexcept { return lines_; }

private:
    std::string lines_;
};

// The connection a route takes over, with the head of the request that asked for it; what it
// holds is known only where the wire is (server/http_connection.hpp).
struct TakenConnection;

// A route's answer. A route that takes the connection over (the WebSocket upgrade) sets
// `take_over`: the connection task then writes nothing, hands it the connection and the
// answer's header fields with every layer's on them, and ends.
struct Response {
    Status status = Status::Ok;
    HeaderFields fields;
    std::string body;
    std::move_only_function<void(std::unique_ptr<TakenConnection>, HeaderFields)> take_over;
};

// An answer with this status and an empty body.
Response empty_response(Status status);
// 200 with `body` as application/json.
Response json_response(std::string body);

}  // namespace parvello
