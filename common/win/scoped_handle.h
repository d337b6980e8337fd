// RAII owners for Win32 handles, one type per kind of handle so that each uses
// its own invalid value and release function.
#pragma once

#include "common/win/platform.h"
#include <winsock2.h>  // SOCKET
#include <oleauto.h>   // BSTR
#include <wincrypt.h>  // certificate stores

#include <string_view>

namespace tessal {

template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;
  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle h) : h_(h) {}
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ScopedGeneric(ScopedGeneric&& o) noexcept : h_(o.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~ScopedGeneric() { reset(); }

  bool valid() const { return h_ != Traits::Invalid(); }
  Handle get() const { return h_; }
  Handle release() {
    Handle h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(Handle h = Traits::Invalid()) {
    if (valid()) Traits::Free(h_);
    h_ = h;
  }
  // For a call that hands the handle out through a pointer.
  Handle* receive() {
    reset();
    return &h_;
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // processes, threads, events, snapshots...
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Free(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and FindFirstFile-like results
  using Handle = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Free(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static void Free(HMODULE h) { FreeLibrary(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static HKEY Invalid() { return nullptr; }
  static void Free(HKEY h) { RegCloseKey(h); }
};

struct ServiceHandleTraits {  // service manager and service handles
  using Handle = SC_HANDLE;
  static SC_HANDLE Invalid() { return nullptr; }
  static void Free(SC_HANDLE h) { CloseServiceHandle(h); }
};

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static HCERTSTORE Invalid() { return nullptr; }
  static void Free(HCERTSTORE h) { CertCloseStore(h, 0); }
};
struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static void Free(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};
struct CryptMsgTraits {
  using Handle = HCRYPTMSG;
  static HCRYPTMSG Invalid() { return nullptr; }
  static void Free(HCRYPTMSG h) { CryptMsgClose(h); }
};
struct MenuTraits {
  using Handle = HMENU;
  static HMENU Invalid() { return nullptr; }
  static void Free(HMENU h) { DestroyMenu(h); }
};
struct BrushTraits {
  using Handle = HBRUSH;
  static HBRUSH Invalid() { return nullptr; }
  static void Free(HBRUSH h) { DeleteObject(h); }
};
struct IconTraits {
  using Handle = HICON;
  static HICON Invalid() { return nullptr; }
  static void Free(HICON h) { DestroyIcon(h); }
};
struct SocketTraits {
  using Handle = SOCKET;
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static void Free(SOCKET h) { closesocket(h); }
};
struct GlobalMemoryTraits {  // GlobalAlloc blocks not (yet) handed to their taker
  using Handle = HGLOBAL;
  static HGLOBAL Invalid() { return nullptr; }
  static void Free(HGLOBAL h) { GlobalFree(h); }
};
struct LocalMemoryTraits {  // blocks the system allocated for the caller to LocalFree
  using Handle = HLOCAL;
  static HLOCAL Invalid() { return nullptr; }
  static void Free(HLOCAL h) { LocalFree(h); }
};
// A RegisterWaitForSingleObject wait, ended after any running callback returns.
struct ThreadPoolWaitTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Free(HANDLE h) { UnregisterWaitEx(h, INVALID_HANDLE_VALUE); }
};
// A BeginUpdateResource handle: one released unfinished discards its changes.
struct ResourceUpdateTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Free(HANDLE h) { EndUpdateResourceW(h, TRUE); }
};

using ScopedKernelHandle = ScopedGeneric<KernelHandleTraits>;
using ScopedFileHandle = ScopedGeneric<FileHandleTraits>;
using ScopedModule = ScopedGeneric<ModuleTraits>;
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;
using ScopedServiceHandle = ScopedGeneric<ServiceHandleTraits>;
using ScopedCertStore = ScopedGeneric<CertStoreTraits>;
using ScopedCertContext = ScopedGeneric<CertContextTraits>;
using ScopedCryptMsg = ScopedGeneric<CryptMsgTraits>;
using ScopedMenu = ScopedGeneric<MenuTraits>;
using ScopedBrush = ScopedGeneric<BrushTraits>;
using ScopedIcon = ScopedGeneric<IconTraits>;
using ScopedSocket = ScopedGeneric<SocketTraits>;
using ScopedGlobal = ScopedGeneric<GlobalMemoryTraits>;
using ScopedLocal = ScopedGeneric<LocalMemoryTraits>;
using ScopedThreadPoolWait = ScopedGeneric<ThreadPoolWaitTraits>;
using ScopedResourceUpdate = ScopedGeneric<ResourceUpdateTraits>;

// A COM interface pointer released on scope exit.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { reset(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // Holds a reference of its own to an interface that someone else holds too.
  void share(T* p) {
    if (p) p->AddRef();
    reset();
    p_ = p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A BSTR freed on scope exit: made from a text, or received from a call.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : s_(SysAllocString(text)) {}
  explicit ScopedBstr(std::wstring_view text)
      : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { SysFreeString(s_); }
  BSTR get() const { return s_; }
  // For a call that hands out a new BSTR.
  BSTR* receive() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  std::wstring_view view() const {
    return s_ ? std::wstring_view(s_, SysStringLen(s_)) : std::wstring_view();
  }

 private:
  BSTR s_ = nullptr;
};

}  // namespace tessal
