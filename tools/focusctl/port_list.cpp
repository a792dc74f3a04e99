#include "port_list.h"

#include <cstdio>

#include "json_output.h"
#include "status_codes.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <setupapi.h>
#else
#include <algorithm>
#include <filesystem>
#include <fstream>
#endif

namespace focus::ctl {

#ifdef _WIN32

namespace {

// The class of serial and parallel ports ("Ports (COM & LPT)").
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Friendly name of the device whose PortName is `com`, from the Ports class.
std::string friendly_name(const std::string& com) {
  std::string found;
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; found.empty() && SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char port[64] = {0};
    DWORD size = sizeof port - 1;
    DWORD type = 0;
    const bool named = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(port),
                                        &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (!named || com != port) continue;
    char name[256] = {0};
    if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(name), sizeof name - 1, nullptr)) {
      found = name;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(const std::string&, const std::string&) {
  std::vector<SerialPortInfo> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD i = 0;; ++i) {
    char device[256] = {0};
    DWORD device_size = sizeof device - 1;
    char com[64] = {0};
    DWORD com_size = sizeof com - 1;
    DWORD type = 0;
    const LONG status =
        RegEnumValueA(key, i, device, &device_size, nullptr, &type, reinterpret_cast<BYTE*>(com), &com_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    SerialPortInfo info;
    info.name = com;
    info.target = device;  // the kernel's name, \Device\Serial0
    info.description = friendly_name(info.name);
    ports.push_back(info);
  }
  RegCloseKey(key);
  return ports;
}

#else

namespace {

namespace fs = std::filesystem;

std::string first_line(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The USB device above a tty in sysfs: the nearest directory with idVendor.
void add_usb_fields(const fs::path& device, SerialPortInfo& info) {
  std::error_code error;
  fs::path dir = fs::canonical(device, error);
  for (int depth = 0; !error && depth < 8 && dir.has_relative_path(); ++depth, dir = dir.parent_path()) {
    if (!fs::exists(dir / "idVendor", error)) continue;
    info.vendor_id = first_line(dir / "idVendor");
    info.product_id = first_line(dir / "idProduct");
    info.serial = first_line(dir / "serial");
    info.manufacturer = first_line(dir / "manufacturer");
    info.description = first_line(dir / "product");
    return;
  }
}

}  // namespace

std::vector<SerialPortInfo> list_serial_ports(const std::string& dev_root, const std::string& sys_root) {
  std::vector<SerialPortInfo> ports;
  std::error_code error;
  const fs::path by_id = fs::path(dev_root) / "serial" / "by-id";
  std::vector<fs::path> links;
  for (const fs::directory_entry& entry : fs::directory_iterator(by_id, error)) links.push_back(entry.path());
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    SerialPortInfo info;
    info.name = link.string();
    std::error_code resolve_error;
    const fs::path target = fs::canonical(link, resolve_error);
    info.target = resolve_error ? fs::read_symlink(link, resolve_error).string() : target.string();
    ports.push_back(info);
  }

  std::vector<fs::path> ttys;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(sys_root) / "class" / "tty", error)) {
    ttys.push_back(entry.path());
  }
  std::sort(ttys.begin(), ttys.end());
  for (const fs::path& tty : ttys) {
    std::error_code driver_error;
    const fs::path driver = fs::read_symlink(tty / "device" / "driver", driver_error);
    if (driver_error) continue;  // virtual consoles, ptys: no driver
    SerialPortInfo info;
    info.name = (fs::path(dev_root) / tty.filename()).string();
    info.driver = driver.filename().string();
    // The 8250 driver lists every legacy port it might have; type 0 means
    // it found no UART there.
    if (info.driver == "serial8250" && first_line(tty / "type") == "0") continue;
    add_usb_fields(tty / "device", info);
    ports.push_back(info);
  }
  return ports;
}

#endif

std::string found_port_names(const std::vector<SerialPortInfo>& ports) {
  if (ports.empty()) return "none";
  std::string names;
  for (const SerialPortInfo& port : ports) {
    if (!names.empty()) names += ", ";
    names += port.name;
  }
  return names;
}

int run_ports(bool json) {
  const std::vector<SerialPortInfo> ports = list_serial_ports();
  if (json) {
    Json list = Json::array();
    for (const SerialPortInfo& p : ports) {
      Json item = Json::object();
      item["name"] = p.name;
      item["target"] = p.target;
      item["driver"] = p.driver;
      item["description"] = p.description;
      item["manufacturer"] = p.manufacturer;
      item["vendor_id"] = p.vendor_id;
      item["product_id"] = p.product_id;
      item["serial"] = p.serial;
      list.push_back(item);
    }
    Json out = Json::object();
    out["command"] = "ports";
    out["count"] = static_cast<std::int64_t>(ports.size());
    out["ports"] = list;
    std::printf("%s\n", json_line(out).c_str());
    return kExitOk;
  }
  if (ports.empty()) {
    std::printf("no serial port found\n");
    return kExitOk;
  }
  for (const SerialPortInfo& p : ports) {
    std::string line = p.name;
    if (!p.target.empty()) line += " -> " + p.target;
    std::string details;
    const auto add = [&](const std::string& label, const std::string& value) {
      if (value.empty()) return;
      if (!details.empty()) details += ", ";
      details += label + value;
    };
    add("", p.description);
    add("", p.manufacturer);
    if (!p.vendor_id.empty()) add("USB ", p.vendor_id + ":" + p.product_id);
    add("serial ", p.serial);
    add("driver ", p.driver);
    std::printf("%s%s%s\n", line.c_str(), details.empty() ? "" : "   ", details.c_str());
  }
  return kExitOk;
}

}  // namespace focus::ctl
