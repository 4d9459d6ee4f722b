#include "output/provenance.h"

#include <cstdio>

#include "relaxation/relaxation.h"

namespace kirva {

namespace {

void put_utf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the valid UTF-8 sequence at s[i], 0 when there is none (overlong forms, surrogates
// and code points beyond U+10FFFF are not valid).
std::size_t utf8_length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t j) { return static_cast<unsigned char>(s[j]); };
  const unsigned c = b(i);
  std::size_t n;
  unsigned cp;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t j = 1; j < n; ++j) {
    if ((b(i + j) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + j) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

}  // namespace

std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c == '\n') {
      out += "\\n";
      ++i;
    } else if (c == '\r') {
      out += "\\r";
      ++i;
    } else if (c == '\t') {
      out += "\\t";
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if (const std::size_t n = utf8_length(s, i); n > 0) {
      out.append(s.substr(i, n));
      i += n;
    } else {
      put_utf8(out, c);
      ++i;
    }
  }
  out += '"';
  return out;
}

std::string render_provenance(const Provenance& p) {
  std::string o = "{\n";
  o += "  \"program\": \"kirva\",\n";
  o += "  \"version\": " + json_string(p.version) + ",\n";
  o += "  \"mode\": " + json_string(p.accurate ? "accurate" : "default") + ",\n";
  o += "  \"arguments\": [";
  for (std::size_t i = 0; i < p.args.size(); ++i) o += (i ? ", " : "") + json_string(p.args[i]);
  o += "],\n";
  o += "  \"options\": {\"accurate\": ";
  o += p.accurate ? "true" : "false";
  o += ", \"smoothing_km\": " + (p.smoothing_option ? number(*p.smoothing_option) : "null");
  o += ", \"threads\": " + (p.threads ? std::to_string(*p.threads) : "null");
  // Only when given, so that the provenance of a run without it is what it always was.
  if (p.isotropic) o += ", \"isotropic\": true";
  if (p.gravity) o += ", \"gravity\": " + number(*p.gravity);
  auto list = [](const std::vector<double>& v, bool zero) {
    std::string l = zero ? "[0" : "[";
    for (std::size_t i = 0; i < v.size(); ++i) l += (i || zero ? ", " : "") + number(v[i]);
    return l + "]";
  };
  if (p.times_given) o += ", \"times\": " + list(p.times, false);
  o += "},\n";
  o += "  \"smoothing_m\": " + number(p.smoothing) + ",\n";
  o += "  \"smoothing_rule\": " +
       json_string(p.accurate ? "smoothing_m at every distance"
                              : "max(smoothing_m, 0.01*|zs - zrec|, 0.01*r)") +
       ",\n";
  o += "  \"sampfac\": " + number(p.sampfac) + ",\n";
  if (p.times_given) {
    o += "  \"viscoelastic\": {\"times_years\": " + list(p.times, true) + ",\n";
    o += "    \"rheology\": " +
         json_string(
             "Burgers body per row: mu in series with a Maxwell dashpot eta_M and a "
             "Kelvin-Voigt element (mu_K, eta_K); only the shear modulus relaxes") +
         ",\n";
    o += "    \"rows\": [";
    for (std::size_t i = 0; i < p.viscous_rows.size(); ++i) {
      const Provenance::ViscousRow& r = p.viscous_rows[i];
      auto years = [](double tau) { return tau > 0.0 ? number(tau / kSecondsPerYear) : "null"; };
      o += std::string(i ? ",\n      " : "\n      ") + "{\"row\": " + std::to_string(r.row) +
           ", \"top_km\": " + number(r.top / 1000.0) + ", \"eta_M\": " + number(r.eta_m) +
           ", \"eta_K\": " + number(r.eta_k) + ", \"mu_K_over_mu\": " + number(r.muk_ratio) +
           ", \"maxwell_time_years\": " + years(r.eta_m > 0.0 ? r.eta_m / r.mu : 0.0) +
           ", \"kelvin_time_years\": " +
           years(r.eta_k > 0.0 ? r.eta_k / (r.muk_ratio * r.mu) : 0.0) + "}";
    }
    o += "],\n";
    o += "    \"method\": " +
         json_string("correspondence principle: elastic tables at " +
                     std::to_string(p.laplace_nodes) +
                     " real Laplace nodes (Chebyshev in ln s) integrated with the elastic "
                     "sampling, Gaver-Stehfest inversion (N = " +
                     std::to_string(p.stehfest_n) + ") of their interpolant") +
         "},\n";
  }
  o += "  \"input_file\": " + json_string(p.infile) + ",\n";
  o += "  \"input\": " + json_string(p.input) + "\n";
  o += "}\n";
  return o;
}

}  // namespace kirva
