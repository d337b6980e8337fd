#include "agent/win/firewall.h"

#include <cstdio>

#include "common/win/scoped_handle.h"

namespace kestra {
namespace {

const CLSID kClsidFirewallManager = {
    0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
const IID kIidFirewallManager = {
    0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
const CLSID kClsidAuthorizedApp = {
    0xEC9846B3, 0x2762, 0x4A6B, {0xA2, 0x14, 0x6A, 0xCB, 0x60, 0x34, 0x62, 0xD2}};
const IID kIidAuthorizedApp = {
    0xB5E64FFA, 0xC2C5, 0x444E, {0xA3, 0x01, 0xFB, 0x5E, 0x00, 0x01, 0x80, 0x50}};

class PlatformFirewallObjects : public FirewallObjects {
 public:
  HRESULT CreateManager(INetFwMgr** manager) override {
    return CoCreateInstance(kClsidFirewallManager, nullptr, CLSCTX_INPROC_SERVER,
                            kIidFirewallManager, reinterpret_cast<void**>(manager));
  }
  HRESULT CreateApplication(INetFwAuthorizedApplication** app) override {
    return CoCreateInstance(kClsidAuthorizedApp, nullptr, CLSCTX_INPROC_SERVER, kIidAuthorizedApp,
                            reinterpret_cast<void**>(app));
  }
};

void Diagnose(const DiagnosticSink& sink, const char* what, HRESULT hr) {
  char line[128];
  std::snprintf(line, sizeof(line), "WinFirewallApp: %s failed: 0x%08lx", what,
                static_cast<unsigned long>(hr));
  sink(line);
}

}  // namespace

HRESULT RegisterFirewallAppWith(FirewallObjects& objects, const wchar_t* image_path,
                                const wchar_t* app_name, const DiagnosticSink& sink) {
  // The window thread is single-threaded for COM, as windows and the shell's
  // objects expect; the agent never uninitialises COM on it, a second call is harmless.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  tessal::ComPtr<INetFwMgr> manager;
  tessal::ComPtr<INetFwPolicy> policy;
  tessal::ComPtr<INetFwProfile> profile;
  tessal::ComPtr<INetFwAuthorizedApplications> apps;
  HRESULT hr = objects.CreateManager(manager.put());
  if (FAILED(hr)) return hr;
  hr = manager->get_LocalPolicy(policy.put());
  if (FAILED(hr)) return hr;
  hr = policy->get_CurrentProfile(profile.put());
  if (FAILED(hr)) return hr;
  hr = profile->get_AuthorizedApplications(apps.put());
  if (FAILED(hr)) return hr;

  tessal::ScopedBstr image(image_path);
  if (image.get() == nullptr) {
    Diagnose(sink, "SysAllocString", E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }

  {
    tessal::ComPtr<INetFwAuthorizedApplication> existing;
    if (SUCCEEDED(apps->Item(image.get(), existing.put())) && existing) {
      VARIANT_BOOL enabled = VARIANT_FALSE;
      hr = existing->get_Enabled(&enabled);
      if (FAILED(hr)) {
        Diagnose(sink, "get_Enabled", hr);
        return hr;
      }
      if (enabled != VARIANT_FALSE) return hr;
    }
  }

  tessal::ComPtr<INetFwAuthorizedApplication> app;
  hr = objects.CreateApplication(app.put());
  if (FAILED(hr)) {
    Diagnose(sink, "CoCreateInstance", hr);
    return hr;
  }
  hr = app->put_ProcessImageFileName(image.get());
  if (FAILED(hr)) return hr;

  tessal::ScopedBstr name(app_name);
  if (name.get() == nullptr || SysStringLen(name.get()) == 0) return E_OUTOFMEMORY;
  hr = app->put_Name(name.get());
  if (SUCCEEDED(hr)) hr = apps->Add(app.get());
  return hr;
}

HRESULT RegisterFirewallApp(const wchar_t* image_path, const wchar_t* app_name) {
  PlatformFirewallObjects objects;
  return RegisterFirewallAppWith(objects, image_path, app_name, [](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
}

}  // namespace kestra
