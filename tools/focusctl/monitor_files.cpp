#include "monitor_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace focus::ctl {

namespace {

// Text for an SVG text node or attribute.
std::string xml_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string number(double value, int decimals = 1) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// A step of 1, 2 or 5 times a power of ten that cuts `span` into about
// `parts` pieces.
double nice_step(double span, int parts) {
  if (span <= 0) return 1;
  const double raw = span / parts;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}

}  // namespace

bool write_samples_csv(const std::string& path, const std::vector<MonitorSample>& samples) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  out << "host_ms,kind,status,code,value\n";
  for (const MonitorSample& s : samples) {
    out << number(s.host_ms, 3) << ',' << unsigned{s.result.kind} << ',' << unsigned{s.result.status} << ','
        << unsigned{s.result.code} << ',' << s.result.value << '\n';
  }
  out.flush();
  return static_cast<bool>(out);
}

std::vector<std::pair<double, double>> find_gaps(const std::vector<MonitorSample>& samples) {
  // Results arrive in bursts, one per read: the intervals that matter are
  // those between distinct read times.
  std::vector<double> intervals;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const double d = samples[i].host_ms - samples[i - 1].host_ms;
    if (d > 0) intervals.push_back(d);
  }
  std::vector<std::pair<double, double>> gaps;
  if (intervals.size() < 3) return gaps;
  std::vector<double> sorted = intervals;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  const double usual = sorted[sorted.size() / 2];
  for (std::size_t i = 1; i < samples.size(); ++i) {
    const double d = samples[i].host_ms - samples[i - 1].host_ms;
    if (d > 3 * usual) gaps.emplace_back(samples[i - 1].host_ms, samples[i].host_ms);
  }
  return gaps;
}

bool write_samples_svg(const std::string& path, const std::vector<MonitorSample>& samples,
                       const std::string& title) {
  std::ofstream out(path, std::ios::binary);
  if (!out) return false;
  constexpr double kWidth = 960, kHeight = 480;
  constexpr double kLeft = 80, kRight = 30, kTop = 40, kBottom = 60;
  const double plot_w = kWidth - kLeft - kRight, plot_h = kHeight - kTop - kBottom;

  double t_min = 0, t_max = 1, v_min = 0, v_max = 1;
  if (!samples.empty()) {
    t_min = samples.front().host_ms;
    t_max = samples.back().host_ms;
    v_min = v_max = samples.front().result.value;
    for (const MonitorSample& s : samples) {
      v_min = std::min<double>(v_min, s.result.value);
      v_max = std::max<double>(v_max, s.result.value);
    }
  }
  if (t_max <= t_min) t_max = t_min + 1;
  if (v_max <= v_min) {
    v_min -= 1;
    v_max += 1;
  }
  const double v_pad = (v_max - v_min) * 0.05;
  v_min -= v_pad;
  v_max += v_pad;
  const auto x = [&](double t) { return kLeft + (t - t_min) / (t_max - t_min) * plot_w; };
  const auto y = [&](double v) { return kTop + (v_max - v) / (v_max - v_min) * plot_h; };

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
      << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
      << "<title>" << xml_escape(title) << "</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
      << "<text x=\"" << kWidth / 2 << "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">"
      << xml_escape(title) << "</text>\n";

  for (const auto& [from, to] : find_gaps(samples)) {
    out << "<rect class=\"gap\" x=\"" << number(x(from)) << "\" y=\"" << kTop << "\" width=\""
        << number(std::max(1.0, x(to) - x(from))) << "\" height=\"" << plot_h
        << "\" fill=\"orange\" fill-opacity=\"0.3\"><title>gap of " << number(to - from)
        << " ms</title></rect>\n";
  }

  // Axes with ticks and grid lines.
  out << "<g stroke=\"#ccc\" stroke-width=\"1\">\n";
  const double t_step = nice_step(t_max - t_min, 8);
  for (double t = std::ceil(t_min / t_step) * t_step; t <= t_max + 1e-9; t += t_step) {
    out << "<line x1=\"" << number(x(t)) << "\" y1=\"" << kTop << "\" x2=\"" << number(x(t)) << "\" y2=\""
        << kTop + plot_h << "\"/>\n";
  }
  const double v_step = nice_step(v_max - v_min, 6);
  for (double v = std::ceil(v_min / v_step) * v_step; v <= v_max + 1e-9; v += v_step) {
    out << "<line x1=\"" << kLeft << "\" y1=\"" << number(y(v)) << "\" x2=\"" << kLeft + plot_w << "\" y2=\""
        << number(y(v)) << "\"/>\n";
  }
  out << "</g>\n<g>\n";
  for (double t = std::ceil(t_min / t_step) * t_step; t <= t_max + 1e-9; t += t_step) {
    out << "<text x=\"" << number(x(t)) << "\" y=\"" << kTop + plot_h + 18 << "\" text-anchor=\"middle\">"
        << number(t, 0) << "</text>\n";
  }
  for (double v = std::ceil(v_min / v_step) * v_step; v <= v_max + 1e-9; v += v_step) {
    out << "<text x=\"" << kLeft - 6 << "\" y=\"" << number(y(v) + 4) << "\" text-anchor=\"end\">"
        << number(v, 0) << "</text>\n";
  }
  out << "</g>\n"
      << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << plot_w << "\" height=\"" << plot_h
      << "\" fill=\"none\" stroke=\"black\"/>\n"
      << "<text x=\"" << kLeft + plot_w / 2 << "\" y=\"" << kHeight - 18
      << "\" text-anchor=\"middle\">host receive time (ms)</text>\n"
      << "<text transform=\"translate(20 " << kTop + plot_h / 2
      << ") rotate(-90)\" text-anchor=\"middle\">value (raw)</text>\n";

  if (!samples.empty()) {
    out << "<polyline fill=\"none\" stroke=\"steelblue\" stroke-width=\"1.2\" points=\"";
    for (const MonitorSample& s : samples)
      out << number(x(s.host_ms)) << ',' << number(y(s.result.value)) << ' ';
    out << "\"/>\n";
  }
  for (const MonitorSample& s : samples) {
    if (s.result.status == 1) continue;
    const double cx = x(s.host_ms), cy = y(s.result.value);
    out << "<path class=\"failure\" d=\"M" << number(cx - 4) << ' ' << number(cy - 4) << " l8 8 m0 -8 l-8 8\""
        << " stroke=\"red\" stroke-width=\"2\"><title>status " << unsigned{s.result.status} << ", code "
        << unsigned{s.result.code} << " at " << number(s.host_ms) << " ms</title></path>\n";
  }
  out << "</svg>\n";
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace focus::ctl
