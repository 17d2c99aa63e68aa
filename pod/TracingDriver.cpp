#include "pod/TracingDriver.h"

#include <cstdio>
#include <utility>

#include "pod/CsmKeys.h"
#include "pod/ForwardingPort.h"

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;

// How many digits after the letter come before the key string of a frame that
// carries one (the type code or the CSM flag), or -1 for a frame without keys.
int KeyOffset(char letter) {
  switch (letter) {
    case 'K':
    case 'M':
      return 1;
    case 'P':
      return 0;
    default:
      return -1;
  }
}

constexpr size_t kKeyDigits = 32;

std::string Escaped(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte < 0x7F && c != '\\' && c != '<' && c != '>') {
    return std::string(1, c);
  }
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

}  // namespace

TracingDriver::TracingDriver(std::unique_ptr<PortDriver> inner, std::shared_ptr<std::ostream> trace)
    : ForwardingDriver(*inner),
      backend_(std::move(inner)),
      traceFile_(std::move(trace)),
      trace_(*traceFile_),
      start_(std::chrono::steady_clock::now()) {
  trace_ << "# brontaflex wire trace\n# backend: " << backend_->Name() << '\n' << std::flush;
}

TracingDriver::~TracingDriver() {
  EndReply();
}

std::string TracingDriver::ShowSent(const std::string& bytes) {
  std::string text;
  char letter = 0;
  size_t fieldDigit = 0;  // digits of the current frame after its letter
  bool inFrame = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == kStx) {
      text += '<';
      inFrame = true;
      letter = 0;
      fieldDigit = 0;
      continue;
    }
    if (c == kEtx) {
      text += '>';
      inFrame = false;
      continue;
    }
    if (inFrame && letter == 0) {
      letter = c;
      text += Escaped(c);
      continue;
    }
    const int keyOffset = inFrame ? KeyOffset(letter) : -1;
    const bool keyDigit = keyOffset >= 0 && fieldDigit >= static_cast<size_t>(keyOffset) &&
                          fieldDigit < keyOffset + kKeyDigits;
    text += keyDigit ? "*" : Escaped(c);
    ++fieldDigit;
  }
  return text;
}

void TracingDriver::Line(std::chrono::steady_clock::time_point at, const char* direction,
                         const std::string& text) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                static_cast<long long>(micros % 1000000));
  trace_ << stamp << ' ' << direction << ' ' << text << '\n' << std::flush;
}

void TracingDriver::EndReply() {
  if (reply_.empty()) {
    return;
  }
  std::string text;
  for (size_t i = 0; i < reply_.size(); ++i) {
    // The password reply: "!" and then the key bytes.
    text += replyHoldsKeys_ && i > 0 ? "*" : Escaped(reply_[i]);
  }
  reply_.clear();
  Line(replyStart_, "<", text);
}

// A port whose writes and reads the driver traces.
class TracingDriver::TracedPort final : public ForwardingPort {
 public:
  TracedPort(std::unique_ptr<Port> inner, TracingDriver& tracer)
      : ForwardingPort(std::move(inner)), tracer_(tracer) {}
  ~TracedPort() override { tracer_.EndReply(); }

  PortStatus Write(const void* bytes, uint32_t length, uint32_t& written) override {
    tracer_.Sent(bytes, length);
    return inner().Write(bytes, length, written);
  }
  PortStatus Read(void* buffer, uint32_t length, uint32_t& returned) override {
    const PortStatus status = inner().Read(buffer, length, returned);
    if (status == kPortOk) {
      tracer_.Received(buffer, returned);
    }
    return status;
  }

 private:
  TracingDriver& tracer_;
};

void TracingDriver::Unload() {
  EndReply();
  backend_->Unload();
}

PortStatus TracingDriver::Open(const PortKey& key, std::unique_ptr<Port>& port) {
  const PortStatus status = backend_->Open(key, port);
  if (key.by == PortKey::By::Description) {
    trace_ << "# port: description \"" << key.text << "\", status " << status << '\n';
  } else {
    trace_ << "# port: serial number " << key.text << ", status " << status << '\n';
  }
  trace_ << std::flush;
  if (port != nullptr) {
    port = std::make_unique<TracedPort>(std::move(port), *this);
  }
  return status;
}

void TracingDriver::Sent(const void* bytes, uint32_t length) {
  EndReply();
  const std::string sent(static_cast<const char*>(bytes), length);
  Line(std::chrono::steady_clock::now(), ">", ShowSent(sent));
  replyHoldsKeys_ = sent.size() >= 2 && sent[0] == kStx && sent[1] == kPasswordQueryFrame;
}

void TracingDriver::Received(const void* bytes, uint32_t length) {
  if (length == 0) {
    return;
  }
  if (reply_.empty()) {
    replyStart_ = std::chrono::steady_clock::now();
  }
  reply_.append(static_cast<const char*>(bytes), length);
}
