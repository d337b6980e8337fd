#include "standins/mgmt_sim/core/sim_protocol.h"

#include <cstring>

namespace mgmt_sim {

namespace {

void PutU32(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>((v >> 24) & 0xFF));
  out->push_back(static_cast<char>((v >> 16) & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
  out->push_back(static_cast<char>(v & 0xFF));
}

// Bounds-checked reader over one frame.
class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U32(uint32_t* v) {
    if (bytes_.size() - pos_ < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
    *v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    pos_ += 4;
    return true;
  }
  bool Bytes(std::size_t n, std::string* out) {
    if (bytes_.size() - pos_ < n) return false;
    out->assign(bytes_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  std::size_t pos() const { return pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Checks the magic; kComplete when present, kNeedMore when the prefix is too short.
Parse CheckMagic(std::string_view bytes) {
  std::size_t n = bytes.size() < 4 ? bytes.size() : 4;
  if (std::memcmp(bytes.data(), kMagic, n) != 0) return Parse::kInvalid;
  return n == 4 ? Parse::kComplete : Parse::kNeedMore;
}

struct Signature {
  const char* name;
  std::size_t args;
};
constexpr Signature kCalls[] = {
    {"CVComm_InfoSet", 2},    {"CVComm_InfoSetR", 2}, {"CVComm_SetServer", 3},
    {"CVComm_SetCompany", 1}, {"CVComm_Access", 1},   {"CVComm_Log", 4},
};

}  // namespace

std::string EncodeCall(const Call& call) {
  std::string out(kMagic, 4);
  PutU32(&out, static_cast<uint32_t>(call.args.size() + 1));
  PutU32(&out, static_cast<uint32_t>(call.name.size()));
  out += call.name;
  for (const std::string& a : call.args) {
    PutU32(&out, static_cast<uint32_t>(a.size()));
    out += a;
  }
  return out;
}

Parse DecodeCall(std::string_view bytes, Call* out, std::size_t* used) {
  Parse magic = CheckMagic(bytes);
  if (magic != Parse::kComplete) return magic;
  Reader r(bytes.substr(4));
  uint32_t count = 0;
  if (!r.U32(&count)) return Parse::kNeedMore;
  if (count == 0 || count > kMaxFields) return Parse::kInvalid;
  Call call;
  std::size_t total = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t len = 0;
    if (!r.U32(&len)) return Parse::kNeedMore;
    total += len;
    if (total > kMaxCallBytes) return Parse::kInvalid;
    std::string field;
    if (!r.Bytes(len, &field)) return Parse::kNeedMore;
    if (i == 0) {
      call.name = std::move(field);
    } else {
      call.args.push_back(std::move(field));
    }
  }
  *out = std::move(call);
  *used = 4 + r.pos();
  return Parse::kComplete;
}

std::string EncodeReply(const Reply& reply) {
  std::string out(kMagic, 4);
  PutU32(&out, reply.status);
  PutU32(&out, static_cast<uint32_t>(reply.body.size()));
  out += reply.body;
  return out;
}

Parse DecodeReply(std::string_view bytes, Reply* out, std::size_t* used) {
  Parse magic = CheckMagic(bytes);
  if (magic != Parse::kComplete) return magic;
  Reader r(bytes.substr(4));
  uint32_t status = 0, len = 0;
  if (!r.U32(&status) || !r.U32(&len)) return Parse::kNeedMore;
  if (status > 1 || len > kMaxReplyBody) return Parse::kInvalid;
  Reply reply;
  reply.status = status;
  if (!r.Bytes(len, &reply.body)) return Parse::kNeedMore;
  *out = std::move(reply);
  *used = 4 + r.pos();
  return Parse::kComplete;
}

bool IsKnownCall(const Call& call) {
  for (const Signature& s : kCalls) {
    if (call.name == s.name) return call.args.size() == s.args;
  }
  return false;
}

bool IsInfoCall(const Call& call) {
  return IsKnownCall(call) && (call.name == "CVComm_InfoSet" || call.name == "CVComm_InfoSetR");
}

Reply Serve(const Call& call, const std::optional<std::string>& policy) {
  Reply reply;
  if (!IsKnownCall(call)) {
    reply.status = 1;
    return reply;
  }
  if (IsInfoCall(call) && policy && policy->size() <= kMaxReplyBody) reply.body = *policy;
  return reply;
}

std::string EscapeField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string FormatLogLine(const Call& call,
                          const std::function<std::string(std::string_view)>& to_utf8) {
  std::string line = EscapeField(to_utf8(call.name));
  for (const std::string& a : call.args) {
    line += '\t';
    line += EscapeField(to_utf8(a));
  }
  return line;
}

}  // namespace mgmt_sim
