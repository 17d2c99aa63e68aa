#include "pod/TracingDriver.h"

#include <cstdio>
#include <utility>

#include "pod/CsmKeys.h"

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

TracingDriver::TracingDriver(std::unique_ptr<FtdiDriver> inner, std::shared_ptr<std::ostream> trace)
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

void TracingDriver::Unload() {
  EndReply();
  backend_->Unload();
}

FtStatus TracingDriver::OpenByDescription(const char* description, FtHandle& handle) {
  const FtStatus status = backend_->OpenByDescription(description, handle);
  trace_ << "# port: description \"" << description << "\", status " << status << '\n'
         << std::flush;
  return status;
}

FtStatus TracingDriver::OpenBySerialNumber(const char* serialNumber, FtHandle& handle) {
  const FtStatus status = backend_->OpenBySerialNumber(serialNumber, handle);
  trace_ << "# port: serial number " << serialNumber << ", status " << status << '\n' << std::flush;
  return status;
}

FtStatus TracingDriver::Write(FtHandle handle, const void* bytes, uint32_t length,
                              uint32_t& written) {
  EndReply();
  const std::string sent(static_cast<const char*>(bytes), length);
  Line(std::chrono::steady_clock::now(), ">", ShowSent(sent));
  replyHoldsKeys_ = sent.size() >= 2 && sent[0] == kStx && sent[1] == kPasswordQueryFrame;
  return backend_->Write(handle, bytes, length, written);
}

FtStatus TracingDriver::Read(FtHandle handle, void* buffer, uint32_t length, uint32_t& returned) {
  const FtStatus status = backend_->Read(handle, buffer, length, returned);
  if (status == kFtOk && returned > 0) {
    if (reply_.empty()) {
      replyStart_ = std::chrono::steady_clock::now();
    }
    reply_.append(static_cast<const char*>(buffer), returned);
  }
  return status;
}

FtStatus TracingDriver::Close(FtHandle handle) {
  EndReply();
  return backend_->Close(handle);
}
