#include "pvo-client-delivery/delivery_error.hpp"

#include <gtest/gtest.h>

using namespace pvo_client_delivery;

TEST(DeliveryError, DisplayTexts) {
    struct Case {
        DeliveryError error;
        std::string_view text;
    };
    const Case cases[] = {
        {DeliveryError::empty_payload(), "empty label payload"},
        {DeliveryError::malformed("dymo_lw", "no label after the preamble"),
         "dymo_lw job is malformed: no label after the preamble"},
        {DeliveryError::unsupported_driver_variant("niimbot_poll", "x9"),
         "unsupported driver variant \"x9\" for niimbot_poll"},
        {DeliveryError::unsupported_driver_variant("niimbot_poll", ""),
         "unsupported driver variant \"\" for niimbot_poll"},
        // Quotes, backslashes and control characters (C0, DEL, C1) are escaped; other text,
        // non-ASCII included, is kept; invalid UTF-8 shows as U+FFFD.
        {DeliveryError::unsupported_driver_variant("niimbot_poll",
                                                   "a\"b\\c\n\t\r\x01\x7F"
                                                   "\xC2\x85"
                                                   "\xC3\xA9\xFF" +
                                                       std::string(1, '\0')),
         "unsupported driver variant "
         "\"a\\\"b\\\\c\\n\\t\\r\\u{1}\\u{7f}\\u{85}\xC3\xA9\xEF\xBF\xBD\\0\" for niimbot_poll"},
        {DeliveryError::invalid_call("session already finished"), "invalid session call: session already finished"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.error.message(), c.text);
}
