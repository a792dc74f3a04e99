// focusctl's tools for a person at a real line, without a device: the list
// of ports from a made-up sysfs, the monitor's rate, gaps and files, and
// the words of a timeout's diagnosis.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "monitor.h"
#include "monitor_files.h"
#include "port_list.h"
#include "traffic_trace.h"

namespace focus::ctl {
namespace {

namespace fs = std::filesystem;

class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() /
           ("focusctl-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root);
    fs::create_directories(root);
  }
  void TearDown() override { fs::remove_all(root); }
  void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }
  fs::path root;
};

#ifndef _WIN32
using PortList = ScratchDir;

// A USB adapter with its by-id link, a real 16550 port, a legacy port the
// 8250 driver found nothing at, and a virtual console without a driver.
TEST_F(PortList, FindsByIdLinksAndTtysWithADriverAndTheirUsbFields) {
  const fs::path dev = root / "dev", sys = root / "sys";
  fs::create_directories(dev / "serial" / "by-id");
  write(dev / "ttyUSB0", "");
  fs::create_symlink("../../ttyUSB0", dev / "serial" / "by-id" / "usb-FTDI_FT232R_A12345-if00-port0");

  const fs::path usb = sys / "devices" / "pci0" / "usb1" / "1-2";
  write(usb / "idVendor", "0403");
  write(usb / "idProduct", "6001");
  write(usb / "serial", "A12345");
  write(usb / "manufacturer", "FTDI");
  write(usb / "product", "FT232R USB UART");
  const fs::path usb_tty = usb / "1-2:1.0" / "ttyUSB0";
  fs::create_directories(usb_tty);
  fs::create_directories(sys / "bus" / "usb-serial" / "drivers" / "ftdi_sio");
  fs::create_symlink(sys / "bus" / "usb-serial" / "drivers" / "ftdi_sio", usb_tty / "driver");

  const fs::path platform = sys / "devices" / "platform" / "serial8250";
  fs::create_directories(platform);
  fs::create_directories(sys / "bus" / "platform" / "drivers" / "serial8250");
  fs::create_symlink(sys / "bus" / "platform" / "drivers" / "serial8250", platform / "driver");

  const fs::path tty = sys / "class" / "tty";
  fs::create_directories(tty / "ttyUSB0");
  fs::create_symlink(usb_tty, tty / "ttyUSB0" / "device");
  fs::create_directories(tty / "ttyS0");
  fs::create_symlink(platform, tty / "ttyS0" / "device");
  write(tty / "ttyS0" / "type", "4");
  fs::create_directories(tty / "ttyS1");
  fs::create_symlink(platform, tty / "ttyS1" / "device");
  write(tty / "ttyS1" / "type", "0");
  fs::create_directories(tty / "tty1");

  const std::vector<SerialPortInfo> ports = list_serial_ports(dev.string(), sys.string());
  ASSERT_EQ(ports.size(), 3u) << found_port_names(ports);
  EXPECT_EQ(ports[0].name, (dev / "serial" / "by-id" / "usb-FTDI_FT232R_A12345-if00-port0").string());
  EXPECT_EQ(ports[0].target, fs::canonical(dev / "ttyUSB0").string());
  EXPECT_EQ(ports[1].name, (dev / "ttyS0").string());
  EXPECT_EQ(ports[1].driver, "serial8250");
  EXPECT_TRUE(ports[1].vendor_id.empty());
  EXPECT_EQ(ports[2].name, (dev / "ttyUSB0").string());
  EXPECT_EQ(ports[2].driver, "ftdi_sio");
  EXPECT_EQ(ports[2].vendor_id, "0403");
  EXPECT_EQ(ports[2].product_id, "6001");
  EXPECT_EQ(ports[2].serial, "A12345");
  EXPECT_EQ(ports[2].manufacturer, "FTDI");
  EXPECT_EQ(ports[2].description, "FT232R USB UART");
}

TEST_F(PortList, AMachineWithoutPortsHasNone) {
  EXPECT_TRUE(list_serial_ports((root / "dev").string(), (root / "sys").string()).empty());
  EXPECT_EQ(found_port_names({}), "none");
}
#endif

TEST(SlidingRate, CountsTheReadsAfterTheFirstOverTheTimeSinceIt) {
  SlidingRate rate;
  rate.add_read(50, 10);
  EXPECT_FALSE(rate.per_second()) << "one read gives no interval";
  rate.add_read(150, 20);
  EXPECT_DOUBLE_EQ(*rate.per_second(), 200.0);
  for (int i = 2; i <= 12; ++i) rate.add_read(50 + 100 * i, 20);
  EXPECT_DOUBLE_EQ(*rate.per_second(), 200.0) << "a steady stream is steady";
  rate.add_read(2000, 0);  // a read 750 ms later that brought nothing new
  EXPECT_LT(*rate.per_second(), 200.0) << "a dropout lowers the rate";
}

TEST(MonitorGaps, AnIntervalThreeTimesTheUsualOneIsAGap) {
  std::vector<MonitorSample> samples;
  for (double ms : {100.0, 100.0, 200.0, 300.0, 400.0, 900.0, 1000.0}) samples.push_back({ms, QueryResult{}});
  const auto gaps = find_gaps(samples);
  ASSERT_EQ(gaps.size(), 1u);
  EXPECT_EQ(gaps[0], (std::pair<double, double>{400.0, 900.0}));
}

using MonitorFiles = ScratchDir;

TEST_F(MonitorFiles, TheCsvHasAHeaderAndOneRowPerResult) {
  const std::vector<MonitorSample> samples = {{50.25, {2, 1, 0, 998}}, {150.5, {3, 0, 7, 65535}}};
  const fs::path csv = root / "r.csv";
  ASSERT_TRUE(write_samples_csv(csv.string(), samples));
  std::ifstream in(csv);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "host_ms,kind,status,code,value\n50.250,2,1,0,998\n150.500,3,0,7,65535\n");
  EXPECT_FALSE(write_samples_csv((root / "no-such-dir" / "r.csv").string(), samples));
}

TEST_F(MonitorFiles, TheSvgMarksFailuresAndGapsAndEscapesItsTitle) {
  std::vector<MonitorSample> samples;
  for (int i = 0; i < 10; ++i) samples.push_back({100.0 * i + (i > 6 ? 1000 : 0), {2, 1, 0, 1000}});
  samples[3].result.status = 0;
  const fs::path svg = root / "r.svg";
  ASSERT_TRUE(write_samples_svg(svg.string(), samples, "A & B <test>"));
  std::ifstream in(svg);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("<title>A &amp; B &lt;test&gt;</title>"), std::string::npos);
  EXPECT_NE(text.find("class=\"failure\""), std::string::npos);
  EXPECT_NE(text.find("class=\"gap\""), std::string::npos);
  EXPECT_NE(text.find("host receive time (ms)"), std::string::npos);
  EXPECT_NE(text.find("value (raw)"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "</svg>\n");
}

struct DiagnosisCase {
  const char* name;
  LineCounts counts;
  const char* opening;
  const char* first_cause;
};

const DiagnosisCase kDiagnoses[] = {
    {"silence", {}, "no byte came back.", "the wrong port"},
    {"bad_crc",
     {9, 0, 1, 0, 0},
     "9 bytes came back: 1 frame, 1 with a bad CRC, 0 stray bytes.",
     "the line speed"},
    {"noise",
     {3, 0, 0, 3, 0},
     "3 bytes came back: 0 frames, 0 with a bad CRC, 3 stray bytes.",
     "the line speed"},
    {"echo",
     {7, 0, 0, 0, 1},
     "7 bytes came back: 0 frames, 0 with a bad CRC, 0 stray bytes, 1 of our own",
     "the adapter echoes"},
    {"other_frames",
     {18, 2, 0, 0, 0},
     "18 bytes came back: 2 frames, 0 with a bad CRC",
     "the device answered, but not this call"},
};

class TimeoutDiagnosis : public ::testing::TestWithParam<DiagnosisCase> {};

TEST_P(TimeoutDiagnosis, SaysWhatCameBackAndTheLikeliestCauseFirst) {
  const std::string text = diagnose_timeout(GetParam().counts);
  EXPECT_EQ(text.rfind(GetParam().opening, 0), 0u) << text;
  const std::size_t first_cause = text.find("\n  - ");
  ASSERT_NE(first_cause, std::string::npos) << text;
  EXPECT_EQ(text.compare(first_cause + 5, std::string(GetParam().first_cause).size(), GetParam().first_cause),
            0)
      << text;
}

INSTANTIATE_TEST_SUITE_P(Cases, TimeoutDiagnosis, ::testing::ValuesIn(kDiagnoses),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace focus::ctl
