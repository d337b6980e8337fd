// The reply of a policy server for a table of `sites` protected sites (128 is a
// full one), each with two use URLs and two use addresses, for the agent's benchmarks.
#pragma once

#include <string>

namespace kestra {

inline std::string FullReply(int sites = 128) {
  std::string reply;
  for (int i = 0; i < sites; ++i) {
    std::string n = std::to_string(i);
    reply += "<observationtarget><companyid>BANK" + n +
             "</companyid><companymainurl>https://www.bank" + n +
             ".co.kr</companymainurl><companymainipaddress>10.0." + n +
             ".1</companymainipaddress>"
             "<companyuseurls>m.bank" +
             n + ".co.kr,open.bank" + n +
             ".co.kr</companyuseurls>"
             "<companyuseipaddresss>10.0." +
             n + ".2;10.0." + n +
             ".3</companyuseipaddresss>"
             "<hashdata>" +
             std::string(64, 'a') +
             "</hashdata>"
             "<certificate>[SUBJECT]CN=www.bank" +
             n + ".co.kr, O=Bank</certificate></observationtarget>";
  }
  return reply;
}

}  // namespace kestra
