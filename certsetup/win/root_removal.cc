#include "root_removal.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "core/seal_certs.h"

namespace seal {
namespace {

constexpr DWORD kMachine = CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG;

// The suite's roots in the store, each a copy the caller frees (or deletes).
std::vector<PCCERT_CONTEXT> SuiteRoots(HCERTSTORE store) {
  std::vector<PCCERT_CONTEXT> ours;
  for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c != nullptr;
       c = CertEnumCertificatesInStore(store, c)) {
    if (IsSuiteRoot(c->pbCertEncoded, c->cbCertEncoded)) ours.push_back(CertDuplicateCertificateContext(c));
  }
  return ours;
}

// Deletes the suite's roots of one store; the count deleted, -1 when it did not open.
int RemoveFrom(LPCSTR provider, DWORD flags) {
  HCERTSTORE store = CertOpenStore(provider, 0, 0, flags, L"ROOT");
  if (store == nullptr) return -1;
  int removed = 0;
  // Collected first: deleting inside the enumeration would end it.
  for (PCCERT_CONTEXT c : SuiteRoots(store)) removed += CertDeleteCertificateFromStore(c) ? 1 : 0;  // frees c
  CertCloseStore(store, 0);
  return removed;
}

int CountLeft() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, kMachine | CERT_STORE_READONLY_FLAG, L"ROOT");
  if (store == nullptr) return -1;
  std::vector<PCCERT_CONTEXT> left = SuiteRoots(store);
  for (PCCERT_CONTEXT c : left) CertFreeCertificateContext(c);
  CertCloseStore(store, 0);
  return static_cast<int>(left.size());
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
