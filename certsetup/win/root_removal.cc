#include "root_removal.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

#include "core/seal_certs.h"

namespace seal {

int RemoveSuiteRoots() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"ROOT");
  if (store == nullptr) return -1;
  // Collected first: deleting inside the enumeration would end it.
  std::vector<PCCERT_CONTEXT> ours;
  for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store, nullptr); c != nullptr;
       c = CertEnumCertificatesInStore(store, c)) {
    if (IsSuiteRoot(c->pbCertEncoded, c->cbCertEncoded)) ours.push_back(CertDuplicateCertificateContext(c));
  }
  int removed = 0;
  bool failed = false;
  for (PCCERT_CONTEXT c : ours) {
    if (CertDeleteCertificateFromStore(c)) {  // frees c either way
      ++removed;
    } else {
      failed = true;
    }
  }
  CertCloseStore(store, 0);
  return failed ? -1 : removed;
}

}  // namespace seal
