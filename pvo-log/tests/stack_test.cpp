#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pvo-log/format.hpp"
#include "pvo-log/stack.hpp"

namespace pvo_log {
namespace {

// Records which writer saw which event, in call order.
struct Recorder final : Writer {
    Recorder(std::string name, std::vector<std::string>& seen) : name(std::move(name)), seen(seen) {}
    void write(const Event& event) noexcept override { seen.push_back(name + " " + format_buffer_line(event)); }
    std::string name;
    std::vector<std::string>& seen;
};

TEST(Stack, FilterGatesEveryWriterAndWritersRunInOrder) {
    std::vector<std::string> seen;
    std::vector<std::unique_ptr<Writer>> writers;
    writers.push_back(std::make_unique<Recorder>("console", seen));
    writers.push_back(std::make_unique<Recorder>("buffer", seen));
    const Stack stack(parse_filter("parvello=info").filter, std::move(writers));

    const Field message[] = {{"message", "up", false}};
    stack.emit({Level::Info, "parvello::server", message});
    stack.emit({Level::Debug, "parvello::server", message});
    stack.emit({Level::Error, "pvo_device::discovery", message});
    EXPECT_EQ(seen,
              (std::vector<std::string>{"console [INFO] parvello::server: up", "buffer [INFO] parvello::server: up"}));
    EXPECT_TRUE(stack.enabled(Level::Warn, "parvello"));
    EXPECT_FALSE(stack.enabled(Level::Warn, "pvo_device"));
}

TEST(Install, FirstStackServesTheGlobalFunctionsAndCannotBeReplaced) {
    static std::vector<std::string> seen;  // the installed stack outlives this test
    std::vector<std::unique_ptr<Writer>> writers;
    writers.push_back(std::make_unique<Recorder>("w", seen));
    ASSERT_TRUE(install(std::make_unique<Stack>(parse_filter("t=info").filter, std::move(writers))));

    info("t", "{} v{}", "parvello", "2.0.6");
    debug("t", "dropped");
    emit(Level::Warn, "t", "", {{"message", "\"kept\""}, {"port", "1", false}});
    EXPECT_EQ(seen, (std::vector<std::string>{"w [INFO] t: parvello v2.0.6", "w [WARN] t: \"kept\""}));
    EXPECT_FALSE(enabled(Level::Debug, "t"));

    const auto again = install(std::make_unique<Stack>(Filter{}, std::vector<std::unique_ptr<Writer>>{}));
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().message(), "failed to set global default subscriber");
    info("t", "still served");
    EXPECT_EQ(seen.back(), "w [INFO] t: still served");
}

}  // namespace
}  // namespace pvo_log
