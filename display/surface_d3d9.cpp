// The window's drawing surface on Direct3D 9: a windowed device whose
// 420 x 420 back buffer covers the gauge window's client area exactly, the
// window's repaints, and a sprite layer of our own (textured quads with
// pretransformed vertices), implementing surface.h and surface_d3d9.h.
//
// Device: Direct3D9Ex where d3d9.dll offers it (no device loss in windowed
// mode; textures in the default pool, filled from system memory), else
// plain Direct3D 9 (textures in the managed pool, which survive a Reset).
// d3d9.dll is loaded at run time, so the exe does not import it and a
// machine without it gets the gauge's own error box.
//
// The picture survives the device: after every present of a new frame the
// back buffer is copied into a system-memory surface, and the draws of the
// last frame are recorded. After a Reset or on a new device the copy is put
// back and, when the last frame never reached it (drawn while the device
// was lost), that frame is replayed over it; then it is presented. While
// the device is away a timer on the window retries the recovery four
// times a second, because the gauge only draws when its data change. (An
// Ex device loses its picture only when it is removed or hangs; it keeps
// the copy all the same: under Wine the copy adds about 0.3 ms to a 5 ms
// frame, and the restored picture is then exact on both kinds of device.)
//
// Limits: textures up to the device's maximum size and only where it
// accepts their exact size (no padding to powers of two); reading pixels
// back needs a 32-bit desktop. A change of the desktop's format is not
// followed until the device is next made anew.
//
// Dependencies: d3d9.dll (run time), user32. Main thread only.
#include "display/surface_d3d9.h"

#include <d3d9.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "display/surface.h"

struct Texture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;             // kept to rebuild it on a new device
  IDirect3DTexture9* texture = nullptr;  // null while no device holds it
};

struct Sprite {
  Texture* texture = nullptr;
  float degrees = 0.0f;
  // The corners' offsets from the sprite's centre, turned: top-left,
  // top-right, bottom-left, bottom-right. Worked out by RotateSprite only,
  // so both draws of the needle reuse them.
  float cornerX[4] = {};
  float cornerY[4] = {};
};

namespace {

// An unusual number: the timer lives on the gauge window, beside any of its
// owner's.
constexpr UINT_PTR RetryTimerId = 0x5A17;
constexpr UINT RetryMilliseconds = 250;
constexpr int MaxTextureSide = 8192;
constexpr double Pi = 3.14159265358979323846;

struct Vertex {
  float x, y, z, rhw;
  D3DCOLOR colour;
  float u, v;
};
constexpr DWORD VertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// One draw as sent to the device, kept for replay after a device loss.
struct DrawRecord {
  Texture* texture;
  Vertex quad[4];
  int sourceBlend;
  int destinationBlend;
  bool bilinear;
};

enum DeviceCondition { DeviceReady, DeviceLost, DeviceNeedsReset, DeviceGone };

using Create9Function = IDirect3D9*(WINAPI*)(UINT);
using Create9ExFunction = HRESULT(WINAPI*)(UINT, IDirect3D9Ex**);

struct D3d9SurfaceState {
  // Facility
  bool allowEx = true;
  bool waitForVsync = true;
  HMODULE library = nullptr;
  Create9Function create9 = nullptr;
  Create9ExFunction create9Ex = nullptr;
  IDirect3D9* d3d = nullptr;
  IDirect3D9Ex* d3dEx = nullptr;  // the same object as d3d when Ex

  // Window and device
  HWND window = nullptr;       // the gauge window the device presents into
  WNDPROC windowProc = nullptr;  // its own procedure, which ours wraps
  IDirect3DDevice9* device = nullptr;
  IDirect3DDevice9Ex* deviceEx = nullptr;  // the same object when Ex
  D3DPRESENT_PARAMETERS presentParameters = {};
  int maxTextureWidth = 0;
  int maxTextureHeight = 0;
  DeviceCondition condition = DeviceGone;
  HRESULT simulatedStatus = S_OK;
  bool retryTimerOn = false;

  // The last picture
  IDirect3DSurface9* savedPicture = nullptr;  // system memory, back buffer format
  bool savedPictureValid = false;
  bool savedPictureCurrent = false;  // holds the last recorded frame too
  // The kept picture's bytes while no device holds them (between the loss
  // of a device and a new one that works).
  std::vector<uint8_t> carriedPicture;
  INT carriedPitch = 0;
  D3DFORMAT carriedFormat = D3DFMT_UNKNOWN;
  std::vector<DrawRecord> frameDraws;

  // Drawing state
  int sourceBlend = BlendSrcAlpha;
  int destinationBlend = BlendInvSrcAlpha;
  int filtering = 0;
  bool frameOpen = false;  // between BeginFrame and EndFrame
  bool sceneOpen = false;  // the device is drawing this frame
  bool frameDrawn = false; // a frame reached the back buffer since the last present
  int appliedSource = -1;
  int appliedDestination = -1;
  int appliedBilinear = -1;
  IDirect3DTexture9* appliedTexture = nullptr;

  std::vector<std::unique_ptr<Texture>> textures;
  std::vector<std::unique_ptr<Sprite>> sprites;
};

D3d9SurfaceState Surface;

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

bool KnownBlendCode(int code) {
  return code == BlendZero || code == 2 || code == BlendSrcAlpha || code == BlendInvSrcAlpha;
}

// ---- Device state for drawing -------------------------------------------

// The blend codes are Direct3D's own D3DBLEND values (1 zero, 2 one,
// 5 source alpha, 6 one minus source alpha).
void ApplyDrawState(int source, int destination, bool bilinear, IDirect3DTexture9* texture) {
  IDirect3DDevice9* d = Surface.device;
  if (source != Surface.appliedSource) d->SetRenderState(D3DRS_SRCBLEND, source);
  if (destination != Surface.appliedDestination) d->SetRenderState(D3DRS_DESTBLEND, destination);
  if (static_cast<int>(bilinear) != Surface.appliedBilinear) {
    const DWORD filter = bilinear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    d->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
  }
  if (texture != Surface.appliedTexture) d->SetTexture(0, texture);
  Surface.appliedSource = source;
  Surface.appliedDestination = destination;
  Surface.appliedBilinear = bilinear;
  Surface.appliedTexture = texture;
}

// The whole pipeline state a frame relies on, set at the start of every
// scene: defaults differ between drivers and Wine, and a Reset loses them.
void SetupRenderState() {
  IDirect3DDevice9* d = Surface.device;
  D3DVIEWPORT9 viewport = {0, 0, SurfaceWidth, SurfaceHeight, 0.0f, 1.0f};
  d->SetViewport(&viewport);
  d->SetPixelShader(nullptr);
  d->SetVertexShader(nullptr);
  d->SetFVF(VertexFormat);
  d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
  d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  d->SetRenderState(D3DRS_ZENABLE, FALSE);
  d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  d->SetRenderState(D3DRS_LIGHTING, FALSE);
  d->SetRenderState(D3DRS_FOGENABLE, FALSE);
  d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
  d->SetRenderState(D3DRS_STENCILENABLE, FALSE);
  d->SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
  d->SetRenderState(D3DRS_CLIPPING, TRUE);
  d->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
  d->SetRenderState(D3DRS_SRGBWRITEENABLE, FALSE);
  // Dithering would move blended values off the exact arithmetic.
  d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  d->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, FALSE);
  d->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
  // Colour straight from the texel; alpha = texel alpha x intensity, which
  // travels as the vertex colour's alpha.
  d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
  d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
  d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  d->SetSamplerState(0, D3DSAMP_SRGBTEXTURE, FALSE);
  d->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 0);

  Surface.appliedSource = Surface.appliedDestination = Surface.appliedBilinear = -1;
  Surface.appliedTexture = nullptr;
  d->SetTexture(0, nullptr);
  ApplyDrawState(Surface.sourceBlend, Surface.destinationBlend, Surface.filtering != 0, nullptr);
}

bool OpenScene() {
  if (FAILED(Surface.device->BeginScene())) return false;
  SetupRenderState();
  return true;
}

void CloseScene() {
  // Sampling returns to nearest texel between frames.
  ApplyDrawState(Surface.appliedSource, Surface.appliedDestination, false, nullptr);
  Surface.device->EndScene();
}

void DrawRecorded(const DrawRecord& draw) {
  if (!draw.texture->texture) return;
  ApplyDrawState(draw.sourceBlend, draw.destinationBlend, draw.bilinear, draw.texture->texture);
  Surface.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, draw.quad, sizeof(Vertex));
}

// ---- Textures -------------------------------------------------------------

bool FillLevel(IDirect3DTexture9* texture, const Texture& source) {
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) return false;
  const size_t rowBytes = static_cast<size_t>(source.width) * 4;
  for (int row = 0; row < source.height; ++row) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(row) * locked.Pitch,
                source.bgra.data() + row * rowBytes, rowBytes);
  }
  texture->UnlockRect(0);
  return true;
}

// Makes the device's copy of a texture. Direct3D9Ex has no managed pool:
// there the texture lives in the default pool, filled from a system-memory
// twin, and Ex devices keep default-pool resources across a Reset.
bool UploadTexture(Texture& t) {
  IDirect3DDevice9* d = Surface.device;
  if (!d || Surface.condition != DeviceReady || t.width > Surface.maxTextureWidth ||
      t.height > Surface.maxTextureHeight)
    return false;
  if (!Surface.deviceEx) {
    if (FAILED(d->CreateTexture(t.width, t.height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                &t.texture, nullptr)))
      return false;
    if (!FillLevel(t.texture, t)) Release(t.texture);
    return t.texture != nullptr;
  }
  IDirect3DTexture9* staging = nullptr;
  if (FAILED(d->CreateTexture(t.width, t.height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM,
                              &staging, nullptr)))
    return false;
  if (FillLevel(staging, t) &&
      SUCCEEDED(d->CreateTexture(t.width, t.height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                 &t.texture, nullptr)) &&
      FAILED(d->UpdateTexture(staging, t.texture))) {
    Release(t.texture);
  }
  Release(staging);
  return t.texture != nullptr;
}

// ---- Device life ----------------------------------------------------------

bool CreateDirect3D() {
  if (Surface.allowEx && Surface.create9Ex) {
    IDirect3D9Ex* ex = nullptr;
    if (SUCCEEDED(Surface.create9Ex(D3D_SDK_VERSION, &ex)) && ex) {
      Surface.d3dEx = ex;
      Surface.d3d = ex;
      return true;
    }
  }
  if (Surface.create9) Surface.d3d = Surface.create9(D3D_SDK_VERSION);
  return Surface.d3d != nullptr;
}

void ReleaseDirect3D() {
  Release(Surface.d3d);
  Surface.d3dEx = nullptr;
}

void ReleaseDevice() {
  for (auto& texture : Surface.textures) Release(texture->texture);
  Release(Surface.savedPicture);
  Surface.savedPictureValid = false;
  Release(Surface.device);
  Surface.deviceEx = nullptr;
  Surface.condition = DeviceGone;
}

bool CreateSavedPicture() {
  Surface.savedPictureValid = false;
  return SUCCEEDED(Surface.device->CreateOffscreenPlainSurface(
      SurfaceWidth, SurfaceHeight, Surface.presentParameters.BackBufferFormat, D3DPOOL_SYSTEMMEM,
      &Surface.savedPicture, nullptr));
}

// A windowed device on the gauge window with one back buffer in the
// desktop's format. COPY keeps the back buffer's pixels after a present,
// which frames rely on since they draw over the previous picture.
bool CreateDevice() {
  D3DDISPLAYMODE mode;
  if (FAILED(Surface.d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return false;
  D3DPRESENT_PARAMETERS& p = Surface.presentParameters;
  p = D3DPRESENT_PARAMETERS();
  p.BackBufferWidth = SurfaceWidth;
  p.BackBufferHeight = SurfaceHeight;
  p.BackBufferFormat = mode.Format;
  p.BackBufferCount = 1;
  p.MultiSampleType = D3DMULTISAMPLE_NONE;
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.hDeviceWindow = Surface.window;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = FALSE;
  p.PresentationInterval =
      Surface.waitForVsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
  // Pretransformed vertices need no vertex processing worth the hardware.
  // FPU_PRESERVE: otherwise Direct3D sets the x87 unit to single precision.
  // A 64-bit build computes in SSE and does not care, but a 32-bit one
  // would round the gauge's arithmetic differently from everywhere else.
  const DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;

  if (Surface.d3dEx) {
    IDirect3DDevice9Ex* device = nullptr;
    if (FAILED(Surface.d3dEx->CreateDeviceEx(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Surface.window,
                                             flags, &p, nullptr, &device)))
      return false;
    Surface.deviceEx = device;
    Surface.device = device;
    device->SetMaximumFrameLatency(1);
  } else if (FAILED(Surface.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Surface.window,
                                               flags, &p, &Surface.device))) {
    Surface.device = nullptr;
    return false;
  }

  D3DCAPS9 caps;
  Surface.maxTextureWidth = Surface.maxTextureHeight = 0;
  if (SUCCEEDED(Surface.device->GetDeviceCaps(&caps))) {
    // Our textures have one level and are drawn clamped, which is what
    // NONPOW2CONDITIONAL allows; a device that wants powers of two or
    // squares only cannot hold the artwork at its exact size.
    const bool anySize = !(caps.TextureCaps & D3DPTEXTURECAPS_POW2) ||
                         (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
    if (anySize && !(caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY)) {
      Surface.maxTextureWidth = static_cast<int>(caps.MaxTextureWidth);
      Surface.maxTextureHeight = static_cast<int>(caps.MaxTextureHeight);
    }
  }
  if (Surface.maxTextureWidth > MaxTextureSide) Surface.maxTextureWidth = MaxTextureSide;
  if (Surface.maxTextureHeight > MaxTextureSide) Surface.maxTextureHeight = MaxTextureSide;

  if (!CreateSavedPicture()) {
    ReleaseDevice();
    return false;
  }
  Surface.condition = DeviceReady;
  return true;
}

// The device's own view of itself, or the state a test pretends.
HRESULT DeviceStatus() {
  if (Surface.simulatedStatus != S_OK) return Surface.simulatedStatus;
  if (!Surface.device || Surface.condition == DeviceGone) return D3DERR_DEVICEREMOVED;
  if (Surface.condition == DeviceNeedsReset) return D3DERR_DEVICENOTRESET;
  HRESULT status = Surface.deviceEx ? Surface.deviceEx->CheckDeviceState(Surface.window)
                                    : Surface.device->TestCooperativeLevel();
  // An occluded window or a changed desktop mode still takes frames.
  if (status == S_PRESENT_OCCLUDED || status == S_PRESENT_MODE_CHANGED) return S_OK;
  return status;
}

// Classifies the result of a present or of a device check.
void NoteDeviceResult(HRESULT result) {
  if (SUCCEEDED(result)) return;
  if (result == D3DERR_DEVICELOST) {
    Surface.condition = DeviceLost;
  } else if (result == D3DERR_DEVICENOTRESET) {
    Surface.condition = DeviceNeedsReset;
  } else if (result == D3DERR_DEVICEREMOVED || result == D3DERR_DEVICEHUNG ||
             result == D3DERR_DRIVERINTERNALERROR) {
    Surface.condition = DeviceGone;
  }
}

void SetRetryTimer(bool on) {
  if (on == Surface.retryTimerOn || !Surface.window) return;
  if (on) {
    Surface.retryTimerOn = SetTimer(Surface.window, RetryTimerId, RetryMilliseconds, nullptr) != 0;
  } else {
    KillTimer(Surface.window, RetryTimerId);
    Surface.retryTimerOn = false;
  }
}

HRESULT PresentBackBuffer() {
  if (Surface.deviceEx) return Surface.deviceEx->PresentEx(nullptr, nullptr, nullptr, nullptr, 0);
  return Surface.device->Present(nullptr, nullptr, nullptr, nullptr);
}

void SavePicture() {
  if (!Surface.savedPicture) return;
  IDirect3DSurface9* backBuffer = nullptr;
  if (FAILED(Surface.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) return;
  // A failed copy leaves the older one in place; the frame record then
  // makes up the difference.
  if (SUCCEEDED(Surface.device->GetRenderTargetData(backBuffer, Surface.savedPicture))) {
    Surface.savedPictureValid = true;
    Surface.savedPictureCurrent = true;
  }
  Release(backBuffer);
}

// Presents the back buffer; keeps a copy of it when `keep`.
void PresentAndKeep(bool keep) {
  HRESULT result = PresentBackBuffer();
  NoteDeviceResult(result);
  if (SUCCEEDED(result)) {
    if (keep) SavePicture();
  } else {
    SetRetryTimer(true);
  }
}

// After a Reset or on a new device the back buffer holds nothing: clear it,
// put the kept picture back, replay the frame that never reached the copy,
// and show the result.
void RestorePicture() {
  IDirect3DDevice9* d = Surface.device;
  d->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 0.0f, 0);
  if (Surface.savedPictureValid) {
    IDirect3DSurface9* backBuffer = nullptr;
    if (SUCCEEDED(d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer))) {
      d->UpdateSurface(Surface.savedPicture, nullptr, backBuffer, nullptr);
      Release(backBuffer);
    }
  }
  // Without a kept picture (a new device in another desktop format) the
  // last frame is drawn on black: every frame of the gauge covers all but
  // a few rim pixels.
  if ((!Surface.savedPictureCurrent || !Surface.savedPictureValid) && OpenScene()) {
    for (const DrawRecord& draw : Surface.frameDraws) DrawRecorded(draw);
    CloseScene();
  }
  PresentAndKeep(true);
}

// Device resources survive a Reset here: textures are managed (plain
// Direct3D 9) or default-pool on an Ex device, and the kept picture is in
// system memory. Only the back buffer's pixels are gone.
bool ResetDevice() {
  HRESULT result = Surface.device->Reset(&Surface.presentParameters);
  if (result == D3DERR_DEVICELOST) {
    Surface.condition = DeviceLost;
    return false;
  }
  if (FAILED(result)) {
    Surface.condition = DeviceGone;
    return false;
  }
  Surface.condition = DeviceReady;
  return true;
}

// A new Direct3D object and device on the same window, the textures made
// again from their pixels, and the kept picture carried over when the
// desktop's format has not changed.
bool RecreateDevice() {
  D3DLOCKED_RECT locked;
  if (Surface.savedPictureValid &&
      SUCCEEDED(Surface.savedPicture->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    Surface.carriedPicture.resize(static_cast<size_t>(locked.Pitch) * SurfaceHeight);
    std::memcpy(Surface.carriedPicture.data(), locked.pBits, Surface.carriedPicture.size());
    Surface.carriedPitch = locked.Pitch;
    Surface.carriedFormat = Surface.presentParameters.BackBufferFormat;
    Surface.savedPicture->UnlockRect();
  }

  ReleaseDevice();
  ReleaseDirect3D();
  if (!CreateDirect3D() || !CreateDevice()) return false;  // the picture stays carried

  if (!Surface.carriedPicture.empty() &&
      Surface.carriedFormat == Surface.presentParameters.BackBufferFormat &&
      SUCCEEDED(Surface.savedPicture->LockRect(&locked, nullptr, 0))) {
    const INT pitch = Surface.carriedPitch;
    const size_t rowBytes = static_cast<size_t>(pitch < locked.Pitch ? pitch : locked.Pitch);
    for (int row = 0; row < SurfaceHeight; ++row) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(row) * locked.Pitch,
                  Surface.carriedPicture.data() + static_cast<size_t>(row) * pitch, rowBytes);
    }
    Surface.savedPicture->UnlockRect();
    Surface.savedPictureValid = true;
  }
  Surface.carriedPicture.clear();
  return true;
}

// Brings the device back to a usable state if it can. True when it is
// usable; while it is not, the retry timer runs.
bool RecoverDevice() {
  if (!Surface.window) return false;
  HRESULT status = DeviceStatus();
  if (status == S_OK && Surface.condition == DeviceReady) {
    SetRetryTimer(false);
    return true;
  }
  // A pretended NOTRESET or removal is acted on once.
  if (status != D3DERR_DEVICELOST) Surface.simulatedStatus = S_OK;

  bool usable = false;
  if (status == D3DERR_DEVICELOST) {
    Surface.condition = DeviceLost;
  } else if (status == D3DERR_DEVICENOTRESET || status == S_OK) {
    usable = ResetDevice() || (Surface.condition == DeviceGone && RecreateDevice());
  } else {
    usable = RecreateDevice();
  }
  if (!usable) {
    SetRetryTimer(true);
    return false;
  }
  SetRetryTimer(false);
  // Textures made while the device was away have no device copy yet.
  for (auto& texture : Surface.textures) {
    if (!texture->texture) UploadTexture(*texture);
  }
  RestorePicture();
  return Surface.condition == DeviceReady;
}

// ---- The window -----------------------------------------------------------

// Repaints present the last frame again; RenderGauge is never called here.
void Repaint() {
  if (!Surface.device || Surface.frameOpen) return;
  if (Surface.condition != DeviceReady || DeviceStatus() != S_OK) {
    RecoverDevice();  // presents the restored picture when it succeeds
    return;
  }
  PresentAndKeep(false);
}

LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the device paints every pixel; erasing would only flicker
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      Repaint();
      return 0;
    }
    case WM_TIMER:
      if (wParam == RetryTimerId) {
        if (!Surface.frameOpen) RecoverDevice();
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(Surface.windowProc, window, message, wParam, lParam);
}

// The device presents straight into the window's client area, and the
// window's own procedure is wrapped for the three messages above; every
// other message goes on to it. (A child window holding the device would
// be the tidier seam, but Wine never shows a Direct3D child window: it
// renders it off screen and the picture does not reach the X window.)
bool AttachToWindow(HWND window) {
  SetLastError(0);
  const LONG_PTR previous = SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SurfaceWindowProc));
  if (previous == 0 && GetLastError() != 0) return false;
  Surface.windowProc = reinterpret_cast<WNDPROC>(previous);
  Surface.window = window;
  return true;
}

void DetachFromWindow() {
  SetRetryTimer(false);
  if (Surface.window && Surface.windowProc &&
      GetWindowLongPtrW(Surface.window, GWLP_WNDPROC) ==
          reinterpret_cast<LONG_PTR>(SurfaceWindowProc)) {
    SetWindowLongPtrW(Surface.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Surface.windowProc));
  }
  Surface.window = nullptr;
  Surface.windowProc = nullptr;
}

// Corner offsets of a sprite turned by `degrees` about its centre. On a
// screen whose y points down, (dx, dy) turned by a goes to
// (dx cos a - dy sin a, dx sin a + dy cos a): clockwise for positive a.
void TurnCorners(Sprite& sprite) {
  const float radians = sprite.degrees * static_cast<float>(Pi / 180.0);
  const double cosA = std::cos(static_cast<double>(radians));
  const double sinA = std::sin(static_cast<double>(radians));
  const double halfW = sprite.texture->width / 2.0;
  const double halfH = sprite.texture->height / 2.0;
  for (int corner = 0; corner < 4; ++corner) {
    const double dx = (corner & 1) ? halfW : -halfW;
    const double dy = (corner & 2) ? halfH : -halfH;
    sprite.cornerX[corner] = static_cast<float>(dx * cosA - dy * sinA);
    sprite.cornerY[corner] = static_cast<float>(dx * sinA + dy * cosA);
  }
}

}  // namespace

// ---- surface_d3d9.h -------------------------------------------------------

void InitDrawingFacility() {
  if (!Surface.library) {
    Surface.library = LoadLibraryW(L"d3d9.dll");
    if (!Surface.library) return;
    // Through a plain function pointer type: GetProcAddress's own type says
    // nothing of the real signature.
    using AnyFunction = void (*)();
    Surface.create9 = reinterpret_cast<Create9Function>(
        reinterpret_cast<AnyFunction>(GetProcAddress(Surface.library, "Direct3DCreate9")));
    Surface.create9Ex = reinterpret_cast<Create9ExFunction>(
        reinterpret_cast<AnyFunction>(GetProcAddress(Surface.library, "Direct3DCreate9Ex")));
  }
  if (!Surface.d3d) CreateDirect3D();
}

bool OpenDrawingSurface(HWND window) {
  if (!window || !Surface.d3d || Surface.window) return false;
  RECT client;
  if (!GetClientRect(window, &client) || client.right != SurfaceWidth ||
      client.bottom != SurfaceHeight || !AttachToWindow(window))
    return false;
  bool created = CreateDevice();
  if (!created && Surface.d3dEx && Surface.create9) {
    // Direct3D9Ex exported but no Ex device on this machine: plain 9.
    ReleaseDirect3D();
    Surface.d3d = Surface.create9(D3D_SDK_VERSION);
    created = Surface.d3d && CreateDevice();
  }
  if (!created) {
    DetachFromWindow();
    return false;
  }
  Surface.device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 0.0f, 0);
  Surface.frameDraws.clear();
  PresentAndKeep(true);
  return true;
}

void CloseDrawingSurface() {
  Surface.frameOpen = Surface.sceneOpen = Surface.frameDrawn = false;
  Surface.frameDraws.clear();
  ReleaseDevice();
  Surface.sprites.clear();
  Surface.textures.clear();
  DetachFromWindow();
  ReleaseDirect3D();
  if (Surface.library) FreeLibrary(Surface.library);
  const bool allowEx = Surface.allowEx;
  const bool waitForVsync = Surface.waitForVsync;
  Surface = D3d9SurfaceState();
  Surface.allowEx = allowEx;
  Surface.waitForVsync = waitForVsync;
}

void AllowDirect3D9Ex(bool allow) { Surface.allowEx = allow; }

void SetPresentWaitsForVsync(bool wait) { Surface.waitForVsync = wait; }

bool SurfaceUsesDirect3D9Ex() { return Surface.deviceEx != nullptr; }

HWND SurfaceWindow() { return Surface.window; }

bool ReadSurfacePixels(uint8_t* rgba) {
  if (!rgba || !Surface.device || Surface.condition != DeviceReady) return false;
  const D3DFORMAT format = Surface.presentParameters.BackBufferFormat;
  if (format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) return false;
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* copy = nullptr;
  bool ok = SUCCEEDED(Surface.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer)) &&
            SUCCEEDED(Surface.device->CreateOffscreenPlainSurface(
                SurfaceWidth, SurfaceHeight, format, D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
            SUCCEEDED(Surface.device->GetRenderTargetData(backBuffer, copy));
  D3DLOCKED_RECT locked;
  if (ok && SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
    for (int row = 0; row < SurfaceHeight; ++row) {
      const uint8_t* in = static_cast<const uint8_t*>(locked.pBits) + static_cast<size_t>(row) * locked.Pitch;
      uint8_t* out = rgba + static_cast<size_t>(row) * SurfaceWidth * 4;
      for (int column = 0; column < SurfaceWidth; ++column, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 255;
      }
    }
    copy->UnlockRect();
  } else {
    ok = false;
  }
  Release(copy);
  Release(backBuffer);
  return ok;
}

void SimulateDeviceStatus(HRESULT status) {
  Surface.simulatedStatus = status;
  if (status == S_OK) return;
  // As if a present had just reported it.
  NoteDeviceResult(status);
  SetRetryTimer(true);
}

bool SurfaceDeviceReady() {
  return Surface.device && Surface.condition == DeviceReady && DeviceStatus() == S_OK;
}

// ---- surface.h ------------------------------------------------------------

Texture* CreateTexture(const uint8_t* rgba, int width, int height) {
  if (!rgba || !Surface.device || width <= 0 || height <= 0 || width > MaxTextureSide ||
      height > MaxTextureSide)
    return nullptr;
  auto texture = std::make_unique<Texture>();
  texture->width = width;
  texture->height = height;
  // Direct3D's A8R8G8B8 lies in memory as blue, green, red, alpha.
  const size_t count = static_cast<size_t>(width) * height;
  texture->bgra.resize(count * 4);
  for (size_t i = 0; i < count; ++i) {
    texture->bgra[i * 4 + 0] = rgba[i * 4 + 2];
    texture->bgra[i * 4 + 1] = rgba[i * 4 + 1];
    texture->bgra[i * 4 + 2] = rgba[i * 4 + 0];
    texture->bgra[i * 4 + 3] = rgba[i * 4 + 3];
  }
  // A device that is away just now gets the texture when it is back.
  if (!UploadTexture(*texture) && Surface.condition == DeviceReady && DeviceStatus() == S_OK)
    return nullptr;
  Surface.textures.push_back(std::move(texture));
  return Surface.textures.back().get();
}

Sprite* CreateSprite(Texture* texture) {
  if (!texture) return nullptr;
  auto sprite = std::make_unique<Sprite>();
  sprite->texture = texture;
  TurnCorners(*sprite);
  Surface.sprites.push_back(std::move(sprite));
  return Surface.sprites.back().get();
}

void BeginFrame() {
  if (!Surface.window || Surface.frameOpen) return;
  // Plain Direct3D 9 loses its device to other programs (a full-screen
  // game, a locked screen); the frame is then only recorded, and replayed
  // once the device is back. Recovery comes first: it may still need the
  // record of the frame before.
  const bool usable = RecoverDevice();
  Surface.frameOpen = true;
  Surface.frameDraws.clear();
  Surface.savedPictureCurrent = false;
  Surface.sceneOpen = usable && OpenScene();
}

void DrawSprite(Sprite* sprite, int32_t x, int32_t y, int intensity) {
  if (!Surface.frameOpen || !sprite || !std::isfinite(sprite->degrees)) return;
  const Texture* texture = sprite->texture;
  if (intensity < 0) intensity = 0;
  if (intensity > 255) intensity = 255;

  // Draws wholly outside the target are dropped here, which also keeps
  // far-off positions out of single-precision vertex arithmetic.
  const double halfW = texture->width / 2.0;
  const double halfH = texture->height / 2.0;
  const double reach = sprite->degrees == 0.0f ? 0.0 : std::sqrt(halfW * halfW + halfH * halfH);
  const double centreX = static_cast<double>(x) + halfW;
  const double centreY = static_cast<double>(y) + halfH;
  const double extentX = reach > 0.0 ? reach : halfW;
  const double extentY = reach > 0.0 ? reach : halfH;
  if (centreX + extentX <= 0.0 || centreX - extentX >= SurfaceWidth ||
      centreY + extentY <= 0.0 || centreY - extentY >= SurfaceHeight)
    return;

  DrawRecord draw;
  draw.texture = sprite->texture;
  draw.sourceBlend = Surface.sourceBlend;
  draw.destinationBlend = Surface.destinationBlend;
  draw.bilinear = Surface.filtering != 0;
  static const float cornerU[4] = {0.0f, 1.0f, 0.0f, 1.0f};
  static const float cornerV[4] = {0.0f, 0.0f, 1.0f, 1.0f};
  const D3DCOLOR colour = D3DCOLOR_ARGB(intensity, 255, 255, 255);
  for (int corner = 0; corner < 4; ++corner) {
    // Pixel centres sit on integer coordinates in Direct3D 9: the quad is
    // moved up and left by half a pixel so each texel lands on one pixel.
    // This is the only place that offset is applied.
    draw.quad[corner] = {static_cast<float>(centreX + sprite->cornerX[corner]) - 0.5f,
                         static_cast<float>(centreY + sprite->cornerY[corner]) - 0.5f,
                         0.0f, 1.0f, colour, cornerU[corner], cornerV[corner]};
  }
  Surface.frameDraws.push_back(draw);
  if (Surface.sceneOpen) DrawRecorded(draw);
}

void SetBlendFactors(int source, int destination) {
  if (!KnownBlendCode(source) || !KnownBlendCode(destination)) return;
  Surface.sourceBlend = source;
  Surface.destinationBlend = destination;
}

void RotateSprite(Sprite* sprite, float degrees, int relative) {
  if (!sprite) return;
  sprite->degrees = relative ? sprite->degrees + degrees : degrees;
  if (std::isfinite(sprite->degrees)) TurnCorners(*sprite);
}

void SetSpriteFiltering(int bilinear) { Surface.filtering = bilinear != 0; }

void EndFrame() {
  if (!Surface.frameOpen) return;
  if (Surface.sceneOpen) {
    CloseScene();
    Surface.frameDrawn = true;
  }
  Surface.frameOpen = Surface.sceneOpen = false;
}

void PresentFrame() {
  if (Surface.frameOpen) EndFrame();
  if (!Surface.window) return;
  if (!Surface.device || Surface.condition != DeviceReady) {
    // Nothing new reached the back buffer; the retry timer brings the
    // picture back once the device returns.
    SetRetryTimer(true);
    return;
  }
  const bool drawn = Surface.frameDrawn;
  Surface.frameDrawn = false;
  // The copy is taken only when a frame was drawn: a bare present changes
  // nothing that the kept picture lacks.
  PresentAndKeep(drawn);
}
