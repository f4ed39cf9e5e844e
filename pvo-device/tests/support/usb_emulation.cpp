#include "usb_emulation.hpp"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <spawn.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern char** environ;

namespace pvo_device::test {
namespace {

constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kStringDescriptor = 3;
constexpr std::uint8_t kManufacturerIndex = 1;
constexpr std::uint8_t kProductIndex = 2;
constexpr std::uint8_t kSerialIndex = 3;
// The printer-class GET_DEVICE_ID request: class request 0, IN, to an interface.
constexpr std::uint8_t kDeviceIdRequestType = 0xA1;
constexpr std::uint8_t kGetDeviceId = 0;
constexpr const char* kChildMark = "PVO_USB_EMULATION_CHILD";

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Device descriptor, then one configuration: interface 0 (printer class) with a bulk OUT
// endpoint 0x01 and, unless left out, a bulk IN endpoint 0x82.
std::vector<std::uint8_t> descriptors(const PrinterSetup& setup) {
    std::vector<std::uint8_t> d = {18, 1, 0x00, 0x02, 0, 0, 0, 64};
    put16(d, setup.vendor_id);
    put16(d, setup.product_id);
    put16(d, 0x0100);
    d.insert(d.end(),
             {kManufacturerIndex, kProductIndex, static_cast<std::uint8_t>(setup.serial ? kSerialIndex : 0), 1});

    const std::uint8_t endpoints = setup.bulk_in ? 2 : 1;
    d.insert(d.end(), {9, 2});
    put16(d, static_cast<std::uint16_t>(9 + 9 + 7 * endpoints));
    d.insert(d.end(), {1, 1, 0, 0x80, 50});
    d.insert(d.end(), {9, 4, 0, 0, endpoints, 7, 1, 2, 0});
    d.insert(d.end(), {7, 5, 0x01, 2});
    put16(d, setup.packet);
    d.push_back(0);
    if (setup.bulk_in) {
        d.insert(d.end(), {7, 5, 0x82, 2});
        put16(d, setup.packet);
        d.push_back(0);
    }
    return d;
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (auto b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A string descriptor: length, type 3, UTF-16LE code units.
std::vector<std::uint8_t> string_descriptor(std::u16string_view text) {
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * text.size()), kStringDescriptor};
    for (char16_t u : text) put16(d, static_cast<std::uint16_t>(u));
    return d;
}

std::u16string utf16(std::string_view utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = c;
        int extra = 0;
        if (c >= 0xF0)
            cp = c & 0x07, extra = 3;
        else if (c >= 0xE0)
            cp = c & 0x0F, extra = 2;
        else if (c >= 0xC0)
            cp = c & 0x1F, extra = 1;
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

}  // namespace

bool run_in_umockdev_child() {
    const char* preloaded = std::getenv("LD_PRELOAD");
    if (preloaded && std::strstr(preloaded, "libumockdev-preload")) return false;
    if (std::getenv(kChildMark)) {
        ADD_FAILURE() << "the USB emulation did not load in the child process";
        return true;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();

    // umockdev's own worker thread races with its device adding (inside the library, which is
    // not built for ThreadSanitizer); those reports are not ours.
    char supp[] = "/tmp/pvo-umockdev-tsan-XXXXXX";
    const int supp_fd = ::mkstemp(supp);
    if (supp_fd >= 0) {
        const std::string_view rules = "race:libumockdev.so\n";
        (void)!::write(supp_fd, rules.data(), rules.size());
        ::close(supp_fd);
    }

    std::vector<std::string> env;
    std::string preload = "libumockdev-preload.so.0";
    std::string asan = "verify_asan_link_order=0";
    std::string tsan = std::string("suppressions=") + supp;
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        if (entry.starts_with("LD_PRELOAD="))
            preload += " " + std::string(entry.substr(11));
        else if (entry.starts_with("ASAN_OPTIONS="))
            asan = std::string(entry.substr(13)) + ":" + asan;
        else if (entry.starts_with("TSAN_OPTIONS="))
            tsan = std::string(entry.substr(13)) + ":" + tsan;
        else
            env.emplace_back(entry);
    }
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back("ASAN_OPTIONS=" + asan);
    env.push_back("TSAN_OPTIONS=" + tsan);
    env.push_back(std::string(kChildMark) + "=1");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string exe = "/proc/self/exe";
    std::string arg = filter;
    char* argv[] = {exe.data(), arg.data(), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data());
    EXPECT_EQ(rc, 0) << "could not start the emulated test: " << std::strerror(rc);
    if (rc != 0) {
        ::unlink(supp);
        return true;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    ::unlink(supp);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the test failed under the USB emulation (output above), wait status " << status;
    return true;
}

// ---- the device model ----

struct EmulatedPrinter::Urb {
    UMockdevIoctlData* data = nullptr;    // struct usbdevfs_urb
    UMockdevIoctlData* buffer = nullptr;  // its transfer buffer
    bool done = false;
    int status = 0;
    std::vector<std::uint8_t> reply;  // bytes the device returns (IN and control)
    ~Urb() {
        if (buffer) umockdev_ioctl_data_unref(buffer);
        if (data) umockdev_ioctl_data_unref(data);
    }
};

void EmulatedPrinter::queue_reply(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(bytes));
}

void EmulatedPrinter::stall_writes() {
    std::lock_guard lock(mutex_);
    writes_stall_ = true;
}

std::vector<std::vector<std::uint8_t>> EmulatedPrinter::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

std::vector<std::uint16_t> EmulatedPrinter::device_id_requests() const {
    std::lock_guard lock(mutex_);
    return device_id_requests_;
}

std::size_t EmulatedPrinter::opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

std::vector<std::string> EmulatedPrinter::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void EmulatedPrinter::note(std::string event) { events_.push_back(std::move(event)); }

bool EmulatedPrinter::handle(UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
            const std::uint32_t value = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            std::memcpy(caps->data, &value, sizeof value);
            ++opens_;
            umockdev_ioctl_data_unref(caps);
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_DISCONNECT_CLAIM:
            note("claim, kernel driver detached");
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_CLAIMINTERFACE:
            note("claim");
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_RELEASEINTERFACE:
            note("release");
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const int code = reinterpret_cast<usbdevfs_ioctl*>(d->data)->ioctl_code;
            umockdev_ioctl_data_unref(d);
            if (code == static_cast<int>(USBDEVFS_CONNECT))
                note("kernel driver attached");
            else if (code == static_cast<int>(USBDEVFS_DISCONNECT))
                note("kernel driver detached");
            else
                return false;
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_SUBMITURB:
            return submit(client);
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            return reap(client);
        case USBDEVFS_DISCARDURB:
            return discard(client);
        default:
            return false;
    }
}

bool EmulatedPrinter::submit(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    auto urb = std::make_shared<Urb>();
    urb->data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* u = reinterpret_cast<usbdevfs_urb*>(urb->data->data);
    // A zero-length transfer has no buffer to resolve.
    if (u->buffer_length > 0) {
        urb->buffer = umockdev_ioctl_data_resolve(urb->data, offsetof(usbdevfs_urb, buffer),
                                                  static_cast<gsize>(u->buffer_length), nullptr);
    }
    const auto* buf = urb->buffer ? reinterpret_cast<const std::uint8_t*>(urb->buffer->data) : nullptr;

    if (u->type == USBDEVFS_URB_TYPE_CONTROL && u->buffer_length >= 8) {
        // GET_DESCRIPTOR for strings (the language list and the device's texts), and
        // GET_DEVICE_ID; every other request stalls.
        const std::uint8_t request_type = buf[0], request = buf[1], index = buf[2], type = buf[3];
        const std::size_t length = buf[6] | (buf[7] << 8);
        const std::optional<std::string>* text = index == kManufacturerIndex ? &setup_.manufacturer
                                                 : index == kProductIndex    ? &setup_.product
                                                 : index == kSerialIndex     ? &setup_.serial
                                                                             : nullptr;
        urb->done = true;
        if (request == kGetDescriptor && type == kStringDescriptor && index == 0) {
            urb->reply = string_descriptor(u"\u0409");
        } else if (request == kGetDescriptor && type == kStringDescriptor && text && *text) {
            urb->reply = string_descriptor(utf16(**text));
        } else if (request_type == kDeviceIdRequestType && request == kGetDeviceId) {
            device_id_requests_.push_back(static_cast<std::uint16_t>(buf[4] | (buf[5] << 8)));
            if (setup_.device_id)
                urb->reply = *setup_.device_id;
            else
                urb->status = -EPIPE;
        } else {
            urb->status = -EPIPE;
        }
        if (urb->reply.size() > length) urb->reply.resize(length);
    } else if (u->endpoint & 0x80) {
        if (!replies_.empty()) {
            urb->reply = std::move(replies_.front());
            replies_.pop_front();
            if (urb->reply.size() > static_cast<std::size_t>(u->buffer_length)) urb->reply.resize(u->buffer_length);
            urb->done = true;
        }
    } else if (!writes_stall_) {
        writes_.push_back(buf ? std::vector<std::uint8_t>(buf, buf + u->buffer_length) : std::vector<std::uint8_t>{});
        urb->done = true;
        u->actual_length = u->buffer_length;
    }
    urbs_.push_back(std::move(urb));
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
}

bool EmulatedPrinter::reap(UMockdevIoctlClient* client) {
    auto it = std::ranges::find_if(urbs_, [](const auto& urb) { return urb->done; });
    if (it == urbs_.end()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return true;
    }
    const std::shared_ptr<Urb> urb = *it;
    urbs_.erase(it);
    auto* u = reinterpret_cast<usbdevfs_urb*>(urb->data->data);
    u->status = urb->status;
    if (!urb->reply.empty()) {
        const std::size_t offset = u->type == USBDEVFS_URB_TYPE_CONTROL ? 8 : 0;
        std::memcpy(static_cast<std::uint8_t*>(u->buffer) + offset, urb->reply.data(), urb->reply.size());
        u->actual_length = static_cast<int>(urb->reply.size());
    }
    UMockdevIoctlData* out =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), nullptr);
    umockdev_ioctl_data_set_ptr(out, 0, urb->data);
    umockdev_ioctl_data_unref(out);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
}

bool EmulatedPrinter::discard(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto address = reinterpret_cast<gulong>(*reinterpret_cast<void**>(arg->data));
    auto it = std::ranges::find_if(urbs_, [&](const auto& urb) { return urb->data->client_addr == address; });
    if (it == urbs_.end() || (*it)->done) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return true;
    }
    (*it)->done = true;
    (*it)->status = -ENOENT;
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
}

// ---- the bus ----

EmulatedUsb::EmulatedUsb() {
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect_after(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsb::on_ioctl), this);
}

EmulatedUsb::~EmulatedUsb() {
    g_object_unref(testbed_);
    g_object_unref(handler_);
}

int EmulatedUsb::on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    auto* bus = static_cast<EmulatedUsb*>(self);
    const auto it = bus->printers_.find(umockdev_ioctl_client_get_devnode(client));
    return it != bus->printers_.end() && it->second->handle(client);
}

EmulatedPrinter& EmulatedUsb::add(const PrinterSetup& setup) {
    const unsigned number = static_cast<unsigned>(printers_.size()) + 2;  // 1 is the root hub's
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03u", number);
    auto printer = std::make_unique<EmulatedPrinter>();
    printer->setup_ = setup;
    EmulatedPrinter& model = *printer;
    printers_.emplace(node, std::move(printer));
    EXPECT_TRUE(umockdev_testbed_attach_ioctl(testbed_, node, handler_, nullptr));

    // Records list a device before its parents: the printer-class node, its interface, then
    // the USB device.
    const std::string device = "/devices/pci0000:00/usb1/1-" + std::to_string(number);
    std::string record;
    if (setup.printer_class) {
        const std::string lp = "lp" + std::to_string(*setup.printer_class);
        record += "P: " + device + "/1-" + std::to_string(number) + ":1.0/usbmisc/" + lp + "\n" + "N: usb/" + lp +
                  "\nE: SUBSYSTEM=usbmisc\nE: DEVNAME=/dev/usb/" + lp + "\n\n" + "P: " + device + "/1-" +
                  std::to_string(number) + ":1.0\n" +
                  "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=07\\n\n\n";
    }
    char ids[64];
    std::snprintf(ids, sizeof ids, "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", setup.vendor_id, setup.product_id);
    record += "P: " + device + "\n" + "N: " + std::string(node + 5) + "\n" +
              "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n" +
              "E: BUSNUM=001\nE: DEVNUM=" + std::string(node + 17) + "\n" + "E: DEVNAME=" + node + "\n" +
              "A: busnum=1\\n\nA: devnum=" + std::to_string(number) + "\\n\n" +
              "A: bConfigurationValue=" + (setup.configured ? "1\\n" : "") + "\nA: speed=12\\n\n" + ids +
              (setup.serial ? "A: serial=" + *setup.serial + "\\n\n" : std::string()) +
              "H: descriptors=" + hex(descriptors(setup)) + "\n";
    EXPECT_TRUE(umockdev_testbed_add_from_string(testbed_, record.c_str(), nullptr)) << record;
    if (!setup.openable) {
        gchar* root = umockdev_testbed_get_root_dir(testbed_);
        EXPECT_EQ(::unlink((std::string(root) + node).c_str()), 0) << node;
        g_free(root);
    }
    if (setup.printer_class) {
        const std::string lp_node = "/dev/usb/lp" + std::to_string(*setup.printer_class);
        model.lp_fd_ = umockdev_testbed_get_dev_fd(testbed_, lp_node.c_str());
        EXPECT_GE(model.lp_fd_, 0) << lp_node;
    }
    return model;
}

SameIdPrinters add_same_id_printers(EmulatedUsb& bus, PrinterSetup setup) {
    setup.serial = "LOCKED";
    setup.openable = false;
    EmulatedPrinter& locked = bus.add(setup);
    setup.serial = "FREE";
    setup.openable = true;
    return {locked, bus.add(setup)};
}

}  // namespace pvo_device::test
