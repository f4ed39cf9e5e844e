// An answer's bytes on the wire: the status line, the fields in order, and the framing
// fields (Connection, Content-Length) for the request it answers.
#include <string>

#include <gtest/gtest.h>

#include "server/answer_bytes.hpp"

namespace parvello {
namespace {

Response answer(Status status, std::string body, HeaderFields fields = {}) {
    Response response = empty_response(status);
    response.fields = std::move(fields);
    response.body = std::move(body);
    return response;
}

HeaderFields json_type() {
    HeaderFields fields;
    fields.set("Content-Type", "application/json");
    return fields;
}

TEST(AnswerBytes, FramesTheAnswerForItsRequest) {
    HeaderFields framing_fields = json_type();
    framing_fields.add("Content-Length", "99");
    framing_fields.add("connection", "upgrade");
    framing_fields.add("Transfer-Encoding", "chunked");
    framing_fields.add("x-after", "kept");

    struct Case {
        const char* name;
        Response response;
        AnswerFraming framing;
        std::string bytes;
    };
    const Case cases[] = {
        {"kept open",
         answer(Status::Ok, "{}", json_type()),
         {},
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}"},
        {"closing",
         answer(Status::Ok, "{}", json_type()),
         {.keep_alive = false},
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: 2\r\n\r\n{}"},
        {"HTTP/1.0 kept open",
         answer(Status::Ok, "{}"),
         {.version = 10},
         "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\n{}"},
        {"HTTP/1.0 closing",
         answer(Status::Ok, "{}"),
         {.version = 10, .keep_alive = false},
         "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n{}"},
        {"HEAD: the length without the body",
         answer(Status::Ok, "{}", json_type()),
         {.head = true},
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n"},
        {"empty body", answer(Status::NotFound, ""), {}, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"},
        {"204: no length, no body", answer(Status::NoContent, "dropped"), {}, "HTTP/1.1 204 No Content\r\n\r\n"},
        {"1xx: no length", answer(Status::SwitchingProtocols, ""), {}, "HTTP/1.1 101 Switching Protocols\r\n\r\n"},
        {"304: no length", answer(static_cast<Status>(304), "dropped"), {}, "HTTP/1.1 304 \r\n\r\n"},
        {"the framing's own fields replace the answer's",
         answer(Status::Ok, "{}", framing_fields),
         {.keep_alive = false},
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nx-after: kept\r\nConnection: close\r\n"
         "Content-Length: 2\r\n\r\n{}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(answer_bytes(c.response, c.framing), c.bytes);
    }
}

}  // namespace
}  // namespace parvello
