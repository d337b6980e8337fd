#include "agent/responder/core/jsonp_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace responder {
namespace {

constexpr char kUndefined[] = "HTTP/1.0 200\r\n\r\nCVSetup({\"message\":\"Undefined request\"});";

std::string Installed(const std::string& name) {
  return "HTTP/1.0 200\r\n\r\n" + name + "({\"message\":\"Corvanta Already Installed\"});";
}

TEST(JsonpReply, EveryKindOfRequest) {
  const std::string long_name(kMaxCallbackName, 'a');
  const struct {
    std::string request, reply;
  } cases[] = {
      {"GET /x.js?callback=jQuery123&_=1 HTTP/1.1\r\nHost: localhost\r\n\r\n",
       Installed("jQuery123")},
      {"GET /x.js?callback=abc HTTP/1.1\r\n\r\n", kUndefined},  // no "&" after it anywhere
      {"GET /?callback=&_=1 HTTP/1.1\r\n\r\n", kUndefined},
      {"GET /?callback=" + long_name + "&", Installed(long_name)},
      {"GET /?callback=" + long_name + "a&", kUndefined},
      {"GET /?_=1 HTTP/1.1\r\n\r\n", kUndefined},
      {"GET /?callback=ns.$cb_2&x", Installed("ns.$cb_2")},
      {"POST / HTTP/1.1\r\n\r\nbody callback=cb&", Installed("cb")},  // wherever it stands
      {"GET /?callback=a&callback=b&", Installed("a")},               // only the first counts
      {std::string("GET /?x\0callback=cb&", 20), kUndefined},         // past a NUL nothing is read
      // Names that would put the page's own script into the reply.
      {"GET /?callback=alert(1);cb&", kUndefined},
      {"GET /?callback=cb</script><script>x&", kUndefined},
      {"GET /?callback=a%28b&", kUndefined},
      {"GET /?callback=a..b&", kUndefined},
      {"GET /?callback=.a&", kUndefined},
      {"GET /?callback=a.&", kUndefined},
      {"GET /?callback=1a&", kUndefined},
      {"GET /?callback=a\r\nX: y&", kUndefined},
      {"GET /?callback=\xEA\xB0\x80&", kUndefined},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonpReply(c.request), c.reply) << c.request;
}

}  // namespace
}  // namespace responder
