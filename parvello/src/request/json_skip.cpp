// Skipping a value of any shape (the value of a key that names no field): every byte is still
// checked, the nesting limit holds, and nothing is kept. The open containers are tracked in a
// fixed array rather than by recursion, so the stack stays flat whatever the input.
#include "json_cursor.hpp"

#include <array>

namespace parvello::json {

bool Cursor::skip_value() {
    std::array<bool, kMaxDepth> is_object{};
    int levels = 0;
    bool first = false;  // whether the innermost container has had no entry yet
    for (;;) {
        const int c = peek();
        if (c == '{' || c == '[') {
            if (!open()) return false;
            is_object[static_cast<std::size_t>(levels++)] = c == '{';
            first = true;
        } else {
            Scalar ignored;
            if (!scalar(ignored, nullptr, false)) return false;
        }
        // Close the containers that end here, then stop where the next value starts.
        for (;;) {
            if (levels == 0) return true;
            const bool object = is_object[static_cast<std::size_t>(levels - 1)];
            const Step step = object ? next_member(first) : next_element(first);
            if (step == Step::Failed) return false;
            if (step == Step::End) {
                close();
                --levels;
                first = false;
                continue;
            }
            if (object) {
                ++pos_;  // the key's opening quote
                if (!read_string(nullptr) || !colon()) return false;
            }
            break;
        }
    }
}

}  // namespace parvello::json
