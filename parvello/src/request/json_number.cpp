// Numbers: integers that fit are kept exact (unsigned, or negative as a signed 64-bit value);
// anything with a fraction or exponent, -0, and integers beyond 64 bits become a double built
// from the leading 64-bit significand and a power of ten.
#include "json_cursor.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace parvello::json {
namespace {

constexpr std::array<double, 309> kPow10 = {
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,
    1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,  1e31,
    1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40,  1e41,  1e42,  1e43,  1e44,  1e45,  1e46,  1e47,
    1e48,  1e49,  1e50,  1e51,  1e52,  1e53,  1e54,  1e55,  1e56,  1e57,  1e58,  1e59,  1e60,  1e61,  1e62,  1e63,
    1e64,  1e65,  1e66,  1e67,  1e68,  1e69,  1e70,  1e71,  1e72,  1e73,  1e74,  1e75,  1e76,  1e77,  1e78,  1e79,
    1e80,  1e81,  1e82,  1e83,  1e84,  1e85,  1e86,  1e87,  1e88,  1e89,  1e90,  1e91,  1e92,  1e93,  1e94,  1e95,
    1e96,  1e97,  1e98,  1e99,  1e100, 1e101, 1e102, 1e103, 1e104, 1e105, 1e106, 1e107, 1e108, 1e109, 1e110, 1e111,
    1e112, 1e113, 1e114, 1e115, 1e116, 1e117, 1e118, 1e119, 1e120, 1e121, 1e122, 1e123, 1e124, 1e125, 1e126, 1e127,
    1e128, 1e129, 1e130, 1e131, 1e132, 1e133, 1e134, 1e135, 1e136, 1e137, 1e138, 1e139, 1e140, 1e141, 1e142, 1e143,
    1e144, 1e145, 1e146, 1e147, 1e148, 1e149, 1e150, 1e151, 1e152, 1e153, 1e154, 1e155, 1e156, 1e157, 1e158, 1e159,
    1e160, 1e161, 1e162, 1e163, 1e164, 1e165, 1e166, 1e167, 1e168, 1e169, 1e170, 1e171, 1e172, 1e173, 1e174, 1e175,
    1e176, 1e177, 1e178, 1e179, 1e180, 1e181, 1e182, 1e183, 1e184, 1e185, 1e186, 1e187, 1e188, 1e189, 1e190, 1e191,
    1e192, 1e193, 1e194, 1e195, 1e196, 1e197, 1e198, 1e199, 1e200, 1e201, 1e202, 1e203, 1e204, 1e205, 1e206, 1e207,
    1e208, 1e209, 1e210, 1e211, 1e212, 1e213, 1e214, 1e215, 1e216, 1e217, 1e218, 1e219, 1e220, 1e221, 1e222, 1e223,
    1e224, 1e225, 1e226, 1e227, 1e228, 1e229, 1e230, 1e231, 1e232, 1e233, 1e234, 1e235, 1e236, 1e237, 1e238, 1e239,
    1e240, 1e241, 1e242, 1e243, 1e244, 1e245, 1e246, 1e247, 1e248, 1e249, 1e250, 1e251, 1e252, 1e253, 1e254, 1e255,
    1e256, 1e257, 1e258, 1e259, 1e260, 1e261, 1e262, 1e263, 1e264, 1e265, 1e266, 1e267, 1e268, 1e269, 1e270, 1e271,
    1e272, 1e273, 1e274, 1e275, 1e276, 1e277, 1e278, 1e279, 1e280, 1e281, 1e282, 1e283, 1e284, 1e285, 1e286, 1e287,
    1e288, 1e289, 1e290, 1e291, 1e292, 1e293, 1e294, 1e295, 1e296, 1e297, 1e298, 1e299, 1e300, 1e301, 1e302, 1e303,
    1e304, 1e305, 1e306, 1e307, 1e308};

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }

// Whether significand * 10 + digit no longer fits in 64 bits.
bool overflows(std::uint64_t significand, unsigned digit) noexcept {
    constexpr std::uint64_t limit = UINT64_MAX / 10;
    return significand > limit || (significand == limit && digit > UINT64_MAX % 10);
}

}  // namespace

bool Cursor::read_number(Number& out, bool check_range) {
    const bool negative = in_[pos_] == '-';
    if (negative) ++pos_;
    if (pos_ == in_.size()) return syntax_read("EOF while parsing a value");
    const char lead = in_[pos_++];
    std::uint64_t significand = 0;
    if (lead == '0') {
        if (pos_ < in_.size() && is_digit(in_[pos_])) return syntax_peeked("invalid number");
    } else if (lead >= '1' && lead <= '9') {
        significand = static_cast<std::uint64_t>(lead - '0');
        while (pos_ < in_.size() && is_digit(in_[pos_])) {
            const auto digit = static_cast<unsigned>(in_[pos_] - '0');
            if (overflows(significand, digit)) {
                // The digits beyond 64 bits only scale the value.
                int exponent = 0;
                while (pos_ < in_.size() && is_digit(in_[pos_])) {
                    ++pos_;
                    ++exponent;
                }
                if (pos_ < in_.size() && in_[pos_] == '.') {
                    return read_fraction(out, negative, significand, exponent, check_range);
                }
                if (pos_ < in_.size() && (in_[pos_] == 'e' || in_[pos_] == 'E')) {
                    return read_exponent(out, negative, significand, exponent, check_range);
                }
                return make_float(out, negative, significand, exponent, check_range);
            }
            ++pos_;
            significand = significand * 10 + digit;
        }
    } else {
        return syntax_read("invalid number");
    }
    if (pos_ < in_.size() && in_[pos_] == '.') {
        return read_fraction(out, negative, significand, 0, check_range);
    }
    if (pos_ < in_.size() && (in_[pos_] == 'e' || in_[pos_] == 'E')) {
        return read_exponent(out, negative, significand, 0, check_range);
    }
    if (!negative) {
        out.kind = Number::Kind::Unsigned;
        out.unsigned_value = significand;
    } else if (significand == 0 || significand > (std::uint64_t{1} << 63)) {
        // -0 and integers below the signed 64-bit range are kept as doubles.
        out.kind = Number::Kind::Float;
        out.float_value = -static_cast<double>(significand);
    } else {
        out.kind = Number::Kind::Negative;
        out.negative_value = static_cast<std::int64_t>(0 - significand);
    }
    return true;
}

bool Cursor::read_fraction(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range) {
    ++pos_;  // '.'
    bool any_digit = false;
    bool full = false;  // digits that no longer fit are ignored
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
        const auto digit = static_cast<unsigned>(in_[pos_] - '0');
        full = full || overflows(significand, digit);
        if (!full) {
            significand = significand * 10 + digit;
            --exponent;
        }
        any_digit = true;
        ++pos_;
    }
    if (!any_digit) {
        return syntax_peeked(pos_ < in_.size() ? "invalid number" : "EOF while parsing a value");
    }
    if (pos_ < in_.size() && (in_[pos_] == 'e' || in_[pos_] == 'E')) {
        return read_exponent(out, negative, significand, exponent, check_range);
    }
    return make_float(out, negative, significand, exponent, check_range);
}

bool Cursor::read_exponent(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range) {
    ++pos_;  // 'e' or 'E'
    bool positive = true;
    if (pos_ < in_.size() && (in_[pos_] == '+' || in_[pos_] == '-')) positive = in_[pos_++] == '+';
    if (pos_ == in_.size()) return syntax_read("EOF while parsing a value");
    const char lead = in_[pos_++];
    if (!is_digit(lead)) return syntax_read("invalid number");
    int value = lead - '0';
    while (pos_ < in_.size() && is_digit(in_[pos_])) {
        const int digit = in_[pos_++] - '0';
        if (value > INT_MAX / 10 || (value == INT_MAX / 10 && digit > INT_MAX % 10)) {
            // An exponent past 32 bits: infinite, which is refused, or zero.
            if (significand != 0 && positive && check_range) {
                return syntax_read("number out of range");
            }
            while (pos_ < in_.size() && is_digit(in_[pos_])) ++pos_;
            out.kind = Number::Kind::Float;
            out.float_value = negative ? -0.0 : 0.0;
            return true;
        }
        value = value * 10 + digit;
    }
    const long long total =
        positive ? static_cast<long long>(exponent) + value : static_cast<long long>(exponent) - value;
    const int clamped = static_cast<int>(std::clamp<long long>(total, INT_MIN, INT_MAX));
    return make_float(out, negative, significand, clamped, check_range);
}

bool Cursor::make_float(Number& out, bool negative, std::uint64_t significand, int exponent, bool check_range) {
    double value = static_cast<double>(significand);
    long long e = exponent;
    for (;;) {
        const unsigned long long magnitude =
            e < 0 ? static_cast<unsigned long long>(-e) : static_cast<unsigned long long>(e);
        if (magnitude < kPow10.size()) {
            if (e >= 0) {
                value *= kPow10[magnitude];
                if (std::isinf(value) && check_range) return syntax_read("number out of range");
            } else {
                value /= kPow10[magnitude];
            }
            break;
        }
        if (value == 0) break;
        if (e >= 0) {
            if (check_range) return syntax_read("number out of range");
            break;
        }
        value /= 1e308;
        e += 308;
    }
    out.kind = Number::Kind::Float;
    out.float_value = negative ? -value : value;
    return true;
}

}  // namespace parvello::json
