// `focusctl ports`: the serial ports of this machine with what tells them
// apart, so that a rig with several adapters finds the right one.
#pragma once

#include <string>
#include <vector>

namespace focus::ctl {

struct SerialPortInfo {
  std::string name;         // what --port takes: /dev/ttyUSB0, /dev/serial/by-id/..., COM3
  std::string target;       // a by-id link: the device it points to
  std::string driver;       // Linux: the kernel driver (ftdi_sio, cp210x, ...)
  std::string description;  // Windows: the friendly name; Linux: the USB product
  std::string manufacturer;
  std::string vendor_id;  // USB, 4 hex digits
  std::string product_id;
  std::string serial;  // USB serial number
};

// Linux: every link in `dev_root`/serial/by-id with its target, then every
// tty under `sys_root`/class/tty that has a driver (ttyS ports the driver
// found no hardware for left out), with the USB fields where sysfs has
// them. Windows: the COM ports of HARDWARE\DEVICEMAP\SERIALCOMM with their
// friendly names; the roots are not used.
std::vector<SerialPortInfo> list_serial_ports(const std::string& dev_root = "/dev",
                                              const std::string& sys_root = "/sys");

// The names found, for a hint: "/dev/ttyUSB0, /dev/ttyACM0", or "none".
std::string found_port_names(const std::vector<SerialPortInfo>& ports);

int run_ports(bool json);

}  // namespace focus::ctl
