#pragma once
// The answer a route or a layer builds: a status, header fields and a body, in the agent's own
// types. The connection frames it for the wire (see answer_bytes.hpp).
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// written as they were given.
class HeaderFields {
public:
    struct Field {
        std::string name;
        std::string value;
    };

    // The value of the first field of that name.
    std::optional<std::string_view> get(std::string_view name) const noexcept;
    std::size_t count(std::string_view name) const noexcept;

    // Replaces every field of that name with this one, which goes last.
    void set(std::string_view name, std::string_view value);
    // Adds a field, beside any of the same name.
    void add(std::string_view name, std::string_view value);
    void erase(std::string_view name);

    auto begin() const noexcept { return fields_.begin(); }
    auto end() const noexcept { return fields_.end(); }

private:
    std::vector<Field> fields_;
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
