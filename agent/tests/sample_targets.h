// Two protected sites for the inspection's tests and fuzzing: a bank with a
// certificate name and a card company reached through its use URLs.
#pragma once

#include <string>
#include <vector>

#include "agent/core/policy.h"

namespace kestra {

inline ObservationTarget SampleBank() {
  ObservationTarget t;
  t.company_id = "BANK1";
  t.display_id = "BANK1";
  t.main_host = "bank.co.kr";
  t.main_ip = "203.0.113.10";
  t.hash_data = "abc123";
  t.certificate = std::string("[SUBJECT]CN=www.bank.co.kr, O=Bank");
  return t;
}

inline ObservationTarget SampleCard() {
  ObservationTarget t;
  t.company_id = "CARD2";
  t.main_host = "card.co.kr";
  t.main_ip = "198.51.100.1";
  t.use_urls = std::string("pay.cardpay.co.kr");
  t.use_ips = std::string("198.51.100.2;198.51.100.3");
  return t;
}

}  // namespace kestra
