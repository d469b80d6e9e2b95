// The gauge drawn by RenderGauge on the Direct3D 9 surface against the CPU
// reference surface: the frames of test_surface_reference_cases.h, each over
// the one before, from black. The CPU pictures come from
// surface_reference_cpu.exe (beside this program), run first under the same
// Wine. Runs on a Direct3D9Ex device and on a plain Direct3D 9 one.
//
// Tolerances, per colour channel, with the figures seen under Wine
// (llvmpipe) in brackets:
//  - Away from the needle every sprite lies texel on pixel, so both
//    surfaces compute the same blends and differ only in how the GPU rounds
//    its 8-bit products; each picture goes through a few blends (drum or
//    tape, face shadow, face, needle shadow), and the result is rounded to
//    8 bits after each on both sides. Allowed: 2 levels [1].
//  - Near the turned needle and its shadow the GPU samples bilinearly with
//    quantised weights and interpolates texture coordinates in single
//    precision, where the CPU works exactly. On the needle's sharp edges (0
//    to 255 within one texel) a weight off by 1/64 moves a value by 4.
//    Allowed: 12 levels, and at most 1 % of that area beyond 4 levels [2,
//    none beyond 4], so a needle turned the wrong way, about the wrong point
//    or half a pixel off fails.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "display/gauge_sprites.h"
#include "display/render_gauge.h"
#include "test_surface_reference_cases.h"
#include "test_surface_support.h"

using namespace surface_test;

namespace {

constexpr int UnturnedTolerance = 2;
constexpr int TurnedTolerance = 12;
constexpr int TurnedLooseLevel = 4;
constexpr double TurnedLooseShare = 0.01;
constexpr size_t PictureBytes = static_cast<size_t>(SurfaceWidth) * SurfaceHeight * 4;

// Pixels the turned needle or its shadow can reach: within the half
// diagonal of the 198-pixel block of either pivot, plus a pixel.
bool NearNeedle(int x, int y) {
  const double reach = 198.0 * std::sqrt(2.0) / 2.0 + 1.0;
  const double pivots[2][2] = {{210.5, 145.5}, {214.5, 149.5}};
  for (const auto& p : pivots) {
    const double dx = x + 0.5 - p[0], dy = y + 0.5 - p[1];
    if (dx * dx + dy * dy <= reach * reach) return true;
  }
  return false;
}

std::wstring BesideThisProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  result.resize(result.find_last_of(L"\\/") + 1);
  return result + name;
}

// Runs surface_reference_cpu.exe and reads its pictures; empty on failure.
std::vector<uint8_t> CpuReferencePictures() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  wchar_t rawPath[MAX_PATH];
  if (!GetTempFileNameW(temp, L"ref", 0, rawPath)) return {};
  const std::wstring program = BesideThisProgram(L"surface_reference_cpu.exe");
  std::wstring commandLine = L"\"" + program + L"\" \"" + rawPath + L"\"";

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<uint8_t> pictures;
  if (CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    DWORD exitCode = 1;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &exitCode);
    } else {
      TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (exitCode == 0) {
      std::FILE* file = _wfopen(rawPath, L"rb");
      if (file) {
        pictures.resize(PictureBytes * ReferenceFrameCount);
        if (std::fread(pictures.data(), 1, pictures.size(), file) != pictures.size()) pictures.clear();
        std::fclose(file);
      }
    }
  } else {
    std::printf("cannot start %ls\n", program.c_str());
  }
  DeleteFileW(rawPath);
  return pictures;
}

void Compare(const char* name, const Picture& gpu, const uint8_t* cpu) {
  int worstUnturned = 0, worstTurned = 0, turnedPixels = 0, turnedLoose = 0;
  int worstX = 0, worstY = 0;
  for (int y = 0; y < SurfaceHeight; ++y) {
    for (int x = 0; x < SurfaceWidth; ++x) {
      const uint8_t* c = cpu + (static_cast<size_t>(y) * SurfaceWidth + x) * 4;
      const int d = ChannelDifference(gpu.At(x, y), {c[0], c[1], c[2], 255});
      if (NearNeedle(x, y)) {
        ++turnedPixels;
        if (d > TurnedLooseLevel) ++turnedLoose;
        if (d > worstTurned) worstTurned = d;
      } else if (d > worstUnturned) {
        worstUnturned = d;
        worstX = x;
        worstY = y;
      }
    }
  }
  const double looseShare = static_cast<double>(turnedLoose) / turnedPixels;
  std::printf("  %-40s unturned worst %3d, needle area worst %3d, beyond %d: %.2f %%\n", name,
              worstUnturned, worstTurned, TurnedLooseLevel, 100.0 * looseShare);
  SURFACE_CHECK(worstUnturned <= UnturnedTolerance, "%s: unturned parts differ by %d at (%d, %d)",
                name, worstUnturned, worstX, worstY);
  SURFACE_CHECK(worstTurned <= TurnedTolerance, "%s: needle area differs by %d", name, worstTurned);
  SURFACE_CHECK(looseShare <= TurnedLooseShare, "%s: %.2f %% of the needle area beyond %d levels",
                name, 100.0 * looseShare, TurnedLooseLevel);
}

void Run(bool ex, const std::vector<uint8_t>& reference) {
  std::printf("-- %s\n", ex ? "Direct3D9Ex" : "Direct3D 9");
  AllowDirect3D9Ex(ex);
  SetPresentWaitsForVsync(false);
  InitDrawingFacility();
  HWND host = OpenHostWindow();
  const bool opened = host && OpenDrawingSurface(host);
  SURFACE_CHECK(opened, "surface opens");
  if (!opened) return;
  GaugeSprites = GaugeSpriteSet();
  CreateGaugeSprites();
  SURFACE_CHECK(GaugeSprites.faceSprite && GaugeSprites.needleSprite && GaugeSprites.iasTapeSprite,
                "gauge sprites on the device");
  SetSpriteFiltering(1);
  for (int i = 0; i < ReferenceFrameCount; ++i) {
    LoadReferenceFrame(ReferenceFrames[i]);
    RenderGauge();
    Picture picture = ReadPicture();
    SURFACE_CHECK(picture.ok, "read back");
    if (picture.ok) Compare(ReferenceFrames[i].name, picture, &reference[PictureBytes * i]);
  }
  GaugeSprites = GaugeSpriteSet();
  CloseDrawingSurface();
  DestroyWindow(host);
}

}  // namespace

int main() {
  const std::vector<uint8_t> reference = CpuReferencePictures();
  SURFACE_CHECK(!reference.empty(), "CPU reference pictures from surface_reference_cpu.exe");
  if (!reference.empty()) {
    Run(true, reference);
    Run(false, reference);
  }
  std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
