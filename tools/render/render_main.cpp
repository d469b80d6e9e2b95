// render_gauge: draws the gauge for given simulator values on the CPU
// reference surface with the embedded artwork and writes the picture as a
// PNG (and, if asked, as raw 420 x 420 RGBA bytes).
//
//   render_gauge --out FILE.png [--alt FEET] [--hpa HPA | --baro-raw N]
//                [--ias KNOTS | --ias-raw N] [--disconnected] [--raw FILE]
//
// Defaults: 0 ft, 1013.25 hPa, 0 kt, connected. The picture is the first
// frame over a black target, as at start-up.
//
// Host tool; dependencies: the CPU surface, the gauge's display code,
// libpng for writing.
#include <png.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/gauge_sprites.h"
#include "display/render_gauge.h"
#include "display/surface_cpu.h"
#include "simlink/flight_data.h"

namespace {

struct Options {
  int32_t altitude = 0;
  uint16_t baroRaw = 16212;  // 1013.25 hPa
  int32_t iasRaw = 0;
  bool connected = true;
  std::string pngPath;
  std::string rawPath;
};

void Usage() {
  std::fprintf(stderr,
               "usage: render_gauge --out FILE.png [--alt FEET] [--hpa HPA | --baro-raw N]\n"
               "                    [--ias KNOTS | --ias-raw N] [--disconnected] [--raw FILE]\n");
}

bool ParseNumber(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value) && value >= low && value <= high;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--disconnected") {
      options.connected = false;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* text = argv[++i];
    double v = 0.0;
    if (name == "--out") {
      options.pngPath = text;
    } else if (name == "--raw") {
      options.rawPath = text;
    } else if (name == "--alt" && ParseNumber(text, INT32_MIN, INT32_MAX, v)) {
      options.altitude = static_cast<int32_t>(v);
    } else if (name == "--baro-raw" && ParseNumber(text, 0, 65535, v)) {
      options.baroRaw = static_cast<uint16_t>(v);
    } else if (name == "--hpa" && ParseNumber(text, 0, 65535 / 16.0, v)) {
      options.baroRaw = static_cast<uint16_t>(std::lround(v * 16.0));
    } else if (name == "--ias-raw" && ParseNumber(text, INT32_MIN, INT32_MAX, v)) {
      options.iasRaw = static_cast<int32_t>(v);
    } else if (name == "--ias" && ParseNumber(text, INT32_MIN / 128.0, INT32_MAX / 128.0, v)) {
      options.iasRaw = static_cast<int32_t>(std::lround(v * 128.0));
    } else {
      return false;
    }
  }
  return !options.pngPath.empty();
}

bool WritePng(const std::string& path, const uint8_t* rgba) {
  // The target has no alpha of its own: write RGB.
  std::vector<uint8_t> rgb(static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 3);
  for (size_t i = 0, j = 0; i < rgb.size(); i += 3, j += 4) {
    rgb[i] = rgba[j];
    rgb[i + 1] = rgba[j + 1];
    rgb[i + 2] = rgba[j + 2];
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = SurfaceWidth;
  image.height = SurfaceHeight;
  image.format = PNG_FORMAT_RGB;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
  if (!ok) std::fprintf(stderr, "render_gauge: %s: %s\n", path.c_str(), image.message);
  png_image_free(&image);
  return ok != 0;
}

bool WriteRaw(const std::string& path, const uint8_t* rgba) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const size_t size = static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4;
  const bool ok = std::fwrite(rgba, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    Usage();
    return 2;
  }
  if (!OpenCpuSurface()) return 1;
  CreateGaugeSprites();
  if (GaugeSprites.faceSprite == nullptr) {
    std::fprintf(stderr, "render_gauge: warning: no embedded artwork, drawing without the face\n");
  }
  SetSpriteFiltering(1);
  FlightData.altitude = options.altitude;
  FlightData.baroRaw = options.baroRaw;
  FlightData.iasRaw = options.iasRaw;
  FlightData.connected = options.connected ? 1 : 0;
  RenderGauge();

  const uint8_t* pixels = CpuSurfacePixels();
  bool ok = WritePng(options.pngPath, pixels);
  if (ok && !options.rawPath.empty()) {
    ok = WriteRaw(options.rawPath, pixels);
    if (!ok) std::fprintf(stderr, "render_gauge: cannot write %s\n", options.rawPath.c_str());
  }
  GaugeSprites = GaugeSpriteSet();
  CloseCpuSurface();
  return ok ? 0 : 1;
}
