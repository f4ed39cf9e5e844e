#include "record_reader.hpp"

namespace parvello::request {

bool refuse_type(json::Cursor& in, std::string_view expecting) {
    json::Scalar value;
    if (!in.read_scalar(value)) return false;
    return in.shape_here(invalid_type(value, expecting));
}

}  // namespace parvello::request
