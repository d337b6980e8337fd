#include "certsetup/win/root_removal.h"

#include "common/win/platform.h"
#include <wincrypt.h>

#include <vector>

#include "certsetup/core/seal_certs.h"
#include "common/win/scoped_handle.h"

namespace seal {
namespace {

constexpr DWORD kMachine = CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG;

using tessal::ScopedCertContext;
using tessal::ScopedCertStore;

// The suite's roots in the store, each a copy of its own.
std::vector<ScopedCertContext> SuiteRoots(HCERTSTORE store) {
  std::vector<ScopedCertContext> ours;
  // Each step of the enumeration frees the context it is given.
  for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c != nullptr;
       c = CertEnumCertificatesInStore(store, c)) {
    if (IsSuiteRoot(c->pbCertEncoded, c->cbCertEncoded))
      ours.emplace_back(CertDuplicateCertificateContext(c));
  }
  return ours;
}

// Deletes the suite's roots of one store; the count deleted, -1 when it did not open.
int RemoveFrom(LPCSTR provider, DWORD flags) {
  ScopedCertStore store(CertOpenStore(provider, 0, 0, flags, L"ROOT"));
  if (!store.valid()) return -1;
  int removed = 0;
  // Collected first: deleting inside the enumeration would end it. The deletion frees the context.
  for (ScopedCertContext& c : SuiteRoots(store.get()))
    removed += CertDeleteCertificateFromStore(c.release()) ? 1 : 0;
  return removed;
}

int CountLeft() {
  ScopedCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, kMachine | CERT_STORE_READONLY_FLAG, L"ROOT"));
  if (!store.valid()) return -1;
  return static_cast<int>(SuiteRoots(store.get()).size());  // freed before the store is closed
}

}  // namespace

// Added roots live in the registry part of the machine's "ROOT" store, which
// is taken first: Wine's system store reports a deletion there as done but
// keeps the certificate. What the whole store still shows afterwards is tried
// through it, and then nothing of ours may be left.
int RemoveSuiteRoots() {
  int from_registry = RemoveFrom(CERT_STORE_PROV_SYSTEM_REGISTRY_W, kMachine);
  int from_system = RemoveFrom(CERT_STORE_PROV_SYSTEM_W, kMachine);
  if (from_system < 0 || CountLeft() != 0) return -1;
  return (from_registry > 0 ? from_registry : 0) + from_system;
}

}  // namespace seal
