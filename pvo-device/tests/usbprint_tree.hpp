#pragma once
// A stand-in for what the kernel's printer-class driver shows: sysfs entries
// class/usbmisc/lpN leading to their USB device's idVendor, idProduct and serial, and device
// nodes usb/lpN that lead to pseudo-terminals whose other end the test plays.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "pty_device.hpp"
#include "pvo-test-support/temp_dir.hpp"

namespace pvo_device::test {

class UsbprintTree {
public:
    UsbprintTree() : root_(dir_.path()) {
        std::filesystem::create_directories(sys_root() / "class" / "usbmisc");
        std::filesystem::create_directories(dev_root() / "usb");
    }
    UsbprintTree(const UsbprintTree&) = delete;
    UsbprintTree& operator=(const UsbprintTree&) = delete;

    std::filesystem::path sys_root() const { return root_ / "sys"; }
    std::filesystem::path dev_root() const { return root_ / "dev"; }

    // Adds printer-class interface `name` ("lp0") of a USB device with these ids and serial,
    // laid out as the kernel does, and returns the device's end of its node.
    PtyDevice& add(const std::string& name, const std::string& id_vendor, const std::string& id_product,
                   std::optional<std::string> serial = std::nullopt, bool with_node = true) {
        namespace fs = std::filesystem;
        const std::string port = "1-" + std::to_string(++ports_);
        const fs::path usb_device = sys_root() / "devices/pci0000:00/0000:00:14.0/usb1" / port;
        const fs::path entry = usb_device / (port + ":1.0") / "usbmisc" / name;
        fs::create_directories(entry);
        write(usb_device / "idVendor", id_vendor + "\n");
        write(usb_device / "idProduct", id_product + "\n");
        if (serial) write(usb_device / "serial", *serial + "\n");
        write(entry / "dev", "180:0\n");
        fs::create_symlink(fs::relative(entry, sys_root() / "class" / "usbmisc"),
                           sys_root() / "class" / "usbmisc" / name);
        auto& pty = *ptys_.emplace(name, std::make_unique<PtyDevice>()).first->second;
        if (with_node) fs::create_symlink(pty.path(), dev_root() / "usb" / name);
        return pty;
    }

private:
    static void write(const std::filesystem::path& path, const std::string& text) { std::ofstream(path) << text; }

    pvo_test_support::TempDir dir_;
    std::filesystem::path root_;
    int ports_ = 0;
    std::map<std::string, std::unique_ptr<PtyDevice>> ptys_;
};

}  // namespace pvo_device::test
